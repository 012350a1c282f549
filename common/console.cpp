#include "common/common.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
// Run-wide: the history lives for the whole program.
struct ConsoleState {
    char lines[CONSOLE_HISTORY_LINES][CONSOLE_LINE_CHARS + 1] = {};
    int next = 0;
    int count = 0;
    int printed = 0;
    bool hide_spam = false;
    ConsoleSink sink = nullptr;
    ConsoleSink log = nullptr;
};
ConsoleState& state() {
    static ConsoleState s;
    return s;
}

void add_history(const char* text) {
    ConsoleState& s = state();
    std::snprintf(s.lines[s.next], sizeof s.lines[s.next], "%s", text);
    s.next = (s.next + 1) % CONSOLE_HISTORY_LINES;
    if (s.count < CONSOLE_HISTORY_LINES) s.count++;
}
}  // namespace

void con_print(const char* text) {
    ConsoleState& s = state();
    if (s.hide_spam && std::strstr(text, "[SPAM]")) return;
    s.printed++;
    add_history(text);
    if (s.log) s.log(text);
    if (s.sink) s.sink(text);
}

void con_printf(const char* fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    con_print(buf);
}

void set_console_sink(ConsoleSink sink) { state().sink = sink; }
void set_log_sink(ConsoleSink sink) { state().log = sink; }
void set_hide_spam(bool hide) { state().hide_spam = hide; }
bool hide_spam() { return state().hide_spam; }

void console_clear_history() {
    ConsoleState& s = state();
    s.next = 0;
    s.count = 0;
}
int console_history_count() { return state().count; }
const char* console_history_line(int i) {
    ConsoleState& s = state();
    if (i < 0 || i >= s.count) return "";
    int first = (s.next - s.count + CONSOLE_HISTORY_LINES) % CONSOLE_HISTORY_LINES;
    return s.lines[(first + i) % CONSOLE_HISTORY_LINES];
}

int console_message_count() { return state().printed; }
void console_reset_count() { state().printed = 0; }
std::string console_last_messages(int n) {
    std::string out;
    int count = console_history_count();
    for (int i = count - n < 0 ? 0 : count - n; i < count; i++) out += console_history_line(i);
    return out;
}
