#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#include "platform/platform_local.h"

namespace {

// Run-wide: the log file, decided by the first call.
struct LogState {
    std::mutex lock;
    bool decided = false;
    FILE* file = nullptr;
};
LogState& log_state() {
    static LogState s;
    return s;
}

constexpr char LOGFILE_DIRECTIVE[] = "ZUMI_LOGFILE=";
constexpr size_t LOGFILE_DIRECTIVE_LEN = sizeof LOGFILE_DIRECTIVE - 1;  // 13

void open_log(LogState& s, const char* name) {
    const char* mode = "w";
    if (!std::strncmp(name, ">>", 2)) {
        mode = "a";
        name += 2;
    } else if (name[0] == '>') {
        name += 1;
    }
    if (const char* flags = std::getenv("ZUMI_LOGFILE_FLAGS")) mode = flags;
    s.file = std::fopen(name, mode);
    if (!s.file) return;
    std::fprintf(s.file, "Logfile \"%s\" opened\n", name);
    std::fprintf(s.file, "ZUMI 0.31\n");
    std::fflush(s.file);
}

void write_line(LogState& s, const char* text) {
    if (!s.file || text[0] == 19) return;
    std::fputs(log_prefix(zumi_time()).c_str(), s.file);
    std::fputs(text, s.file);
    std::fflush(s.file);
}

}  // namespace

std::string log_prefix(double seconds) {
    if (seconds < 0) seconds = 0;
    long long hundredths = static_cast<long long>(seconds * 100.0);
    char buf[48];
    std::snprintf(buf, sizeof buf, "[%lld:%02lld:%02lld.%02lld] ", hundredths / 360000,
                  hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
    return buf;
}

void zumi_log(const char* fmt, ...) {
    char text[4096];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);

    LogState& s = log_state();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.decided) {
        s.decided = true;
        if (const char* env = std::getenv("ZUMI_LOGFILE")) {
            open_log(s, env);
        } else if (!std::strncmp(text, LOGFILE_DIRECTIVE, LOGFILE_DIRECTIVE_LEN)) {
            std::string name = text + LOGFILE_DIRECTIVE_LEN;
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
            open_log(s, name.c_str());
            return;
        }
    }
    write_line(s, text);
}

void zumi_log_close() {
    LogState& s = log_state();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.file) std::fclose(s.file);
    s.file = nullptr;
}

void zumi_log_reset() {
    zumi_log_close();
    std::lock_guard<std::mutex> hold(log_state().lock);
    log_state().decided = false;
}

double zumi_time() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec / 1000) * 1e-6;
}

void zumi_sleep(double seconds) {
    if (!(seconds > 0)) return;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void zumi_sleep_until(double when) { zumi_sleep(when - zumi_time()); }
