#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/platform_local.h"

namespace {

// Run-wide: ZUMI_OPTIONS as read on first use.
std::once_flag options_once;
std::string options_text;

const char* options() {
    std::call_once(options_once, [] { zumi_reload_options(); });
    return options_text.c_str();
}

// The text after "[name:", or null when the option is not given.
const char* find_option(const char* text, const char* name) {
    char key[72];
    std::snprintf(key, sizeof key, "[%.60s:", name);
    const char* p = text ? std::strstr(text, key) : nullptr;
    return p ? p + std::strlen(key) : nullptr;
}

}  // namespace

void zumi_reload_options() {
    const char* env = std::getenv("ZUMI_OPTIONS");
    options_text = env ? env : "";
}

int zumi_option_flag_in(const char* text, const char* name, int def) {
    const char* v = find_option(text, name);
    if (!v) return def;
    if (!std::strncmp(v, "yes]", 4) || !std::strncmp(v, "on]", 3)) return 1;
    if (!std::strncmp(v, "no]", 3) || !std::strncmp(v, "off]", 4)) return 0;
    zumi_log("unrecognized setting for %s\n", name);
    return def;
}

int zumi_option_number_in(const char* text, const char* name, int def) {
    const char* v = find_option(text, name);
    if (!v) return def;
    const char* p = v;
    if (*p == '-' || *p == '+') p++;
    if (*p < '0' || *p > '9') {
        zumi_log("unrecognized setting for %s\n", name);
        return def;
    }
    long n = std::strtol(v, nullptr, 10);
    if (n > 1000000000L) n = 1000000000L;
    if (n < -1000000000L) n = -1000000000L;
    return static_cast<int>(n);
}

int zumi_option_flag(const char* name, int def) { return zumi_option_flag_in(options(), name, def); }
int zumi_option_number(const char* name, int def) { return zumi_option_number_in(options(), name, def); }
