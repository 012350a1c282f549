// The formatted scanner over data files: a scanf-style reader with its own
// number parsing. Accumulators saturate, so hostile digits can never
// overflow; a number may be at most 1,000,000 characters long.
#include <cctype>
#include <cfloat>
#include <climits>
#include <cstdarg>
#include <cstring>

#include "files/files_local.h"

namespace {

constexpr int DEFAULT_NUMBER_WIDTH = 1000000;
constexpr long long EXPONENT_LIMIT = 100000;  // far past any long double
constexpr long double MANTISSA_LIMIT = 1e4900L;

enum Size { SIZE_HH, SIZE_H, SIZE_NONE, SIZE_L, SIZE_LL, SIZE_LD };

struct Scanner {
    DataFile* f;
    int consumed = 0;   // characters taken from the stream (for "%n")
    int left = 0;       // characters the current conversion may still take

    int get() {
        int c = read_data_char(f);
        if (c >= 0) consumed++;
        return c;
    }
    void unget(int c) {
        if (c < 0) return;
        unread_data_char(f, c);
        consumed--;
    }
    // The next character of the current conversion, −1 once its width is used.
    int next() {
        if (left <= 0) return -1;
        left--;
        return get();
    }
    // Skips whitespace; returns false at the end of the input.
    bool skip_space() {
        int c;
        while ((c = get()) >= 0 && isspace(c)) {
        }
        unget(c);
        return c >= 0;
    }
};

int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Reads an integer's sign and magnitude (saturating); false when no digit
// was read.
bool scan_integer(Scanner& s, char conv, bool& negative, unsigned long long& mag) {
    int base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
    bool any = false;
    negative = false;
    mag = 0;
    int c = s.next();
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = s.next();
    }
    if (conv == 'i') {
        if (c == '0') {
            any = true;
            c = s.next();
            if (c == 'x' || c == 'X') {
                base = 16;
                c = s.next();
            } else {
                base = 8;
            }
        }
    }
    while (c >= 0 && digit_value(c) < base) {
        any = true;
        unsigned d = (unsigned)digit_value(c);
        if (mag > (ULLONG_MAX - d) / (unsigned)base) mag = ULLONG_MAX;
        else mag = mag * (unsigned)base + d;
        c = s.next();
    }
    s.unget(c);
    return any;
}

long long clamp_signed(bool negative, unsigned long long mag, long long lo, long long hi) {
    if (negative) {
        unsigned long long limit = (unsigned long long)(-(lo + 1)) + 1;
        return mag >= limit ? lo : -(long long)mag;
    }
    return mag >= (unsigned long long)hi ? hi : (long long)mag;
}

void store_integer(va_list& ap, Size size, bool is_signed, bool negative, unsigned long long mag) {
    if (is_signed) {
        switch (size) {
            case SIZE_HH: *va_arg(ap, signed char*) = (signed char)clamp_signed(negative, mag, SCHAR_MIN, SCHAR_MAX); break;
            case SIZE_H: *va_arg(ap, short*) = (short)clamp_signed(negative, mag, SHRT_MIN, SHRT_MAX); break;
            case SIZE_L: *va_arg(ap, long*) = (long)clamp_signed(negative, mag, LONG_MIN, LONG_MAX); break;
            case SIZE_LL:
            case SIZE_LD: *va_arg(ap, long long*) = clamp_signed(negative, mag, LLONG_MIN, LLONG_MAX); break;
            default: *va_arg(ap, int*) = (int)clamp_signed(negative, mag, INT_MIN, INT_MAX); break;
        }
        return;
    }
    // Unsigned conversions: saturate the magnitude to the type, then negate
    // modulo its size as C does.
    auto fit = [&](unsigned long long max) {
        unsigned long long v = mag > max ? max : mag;
        return negative ? (0 - v) & max : v;
    };
    switch (size) {
        case SIZE_HH: *va_arg(ap, unsigned char*) = (unsigned char)fit(UCHAR_MAX); break;
        case SIZE_H: *va_arg(ap, unsigned short*) = (unsigned short)fit(USHRT_MAX); break;
        case SIZE_L: *va_arg(ap, unsigned long*) = (unsigned long)fit(ULONG_MAX); break;
        case SIZE_LL:
        case SIZE_LD: *va_arg(ap, unsigned long long*) = fit(ULLONG_MAX); break;
        default: *va_arg(ap, unsigned*) = (unsigned)fit(UINT_MAX); break;
    }
}

// Ten to the power e (e ≥ 0) from the binary digits of e; saturates to
// infinity.
long double power_of_ten(long long e) {
    static const long double factors[12] = {1e1L,   1e2L,   1e4L,   1e8L,    1e16L,   1e32L,
                                            1e64L,  1e128L, 1e256L, 1e512L,  1e1024L, 1e2048L};
    long double p = 1;
    for (int k = 0; k < 12; k++)
        if (e & (1LL << k)) p *= factors[k];
    for (long long q = e >> 12; q > 0 && p <= LDBL_MAX; q--) p *= 1e4096L;
    return p;
}

// Reads a real number; false when no digit was read.
bool scan_real(Scanner& s, long double& value) {
    bool negative = false, any = false, dot = false;
    long double m = 0;
    long long exp10 = 0;
    int c = s.next();
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = s.next();
    }
    for (;; c = s.next()) {
        if (c >= '0' && c <= '9') {
            any = true;
            if (m < MANTISSA_LIMIT) {
                m = m * 10 + (c - '0');
                if (dot) exp10--;
            } else if (!dot) {
                exp10++;  // digits past the mantissa's reach only scale it
            }
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            break;
        }
    }
    if (!any) {
        s.unget(c);
        return false;
    }
    if (c == 'e' || c == 'E') {
        bool eneg = false;
        long long e = 0;
        c = s.next();
        if (c == '+' || c == '-') {
            eneg = c == '-';
            c = s.next();
        }
        for (; c >= '0' && c <= '9'; c = s.next())
            e = e >= EXPONENT_LIMIT ? EXPONENT_LIMIT : e * 10 + (c - '0');
        exp10 += eneg ? -e : e;
    }
    s.unget(c);
    if (m == 0) {
        value = negative ? -0.0L : 0.0L;
        return true;
    }
    long double v = exp10 < 0 ? m / power_of_ten(-exp10) : m * power_of_ten(exp10);
    if (v > LDBL_MAX) v = LDBL_MAX;
    value = negative ? -v : v;
    return true;
}

void store_real(va_list& ap, Size size, long double v) {
    auto clamp = [&](long double max) { return v > max ? max : v < -max ? -max : v; };
    if (size == SIZE_LD) *va_arg(ap, long double*) = v;
    else if (size == SIZE_L || size == SIZE_LL) *va_arg(ap, double*) = (double)clamp(DBL_MAX);
    else *va_arg(ap, float*) = (float)clamp(FLT_MAX);
}

// Parses the set of a "%[" conversion; returns the format position after
// "]", or null when the set is not closed.
const char* parse_set(const char* p, bool set[256]) {
    bool negate = false;
    if (*p == '^') {
        negate = true;
        p++;
    }
    memset(set, 0, 256);
    bool first = true;
    for (; *p && (first || *p != ']'); p++, first = false) {
        unsigned char lo = (unsigned char)*p;
        if (p[1] == '-' && p[2] && p[2] != ']') {
            unsigned char hi = (unsigned char)p[2];
            for (int c = lo; c <= hi; c++) set[c] = true;
            p += 2;
        } else {
            set[lo] = true;
        }
    }
    if (*p != ']') return nullptr;
    if (negate)
        for (int c = 0; c < 256; c++) set[c] = !set[c];
    return p + 1;
}

}  // namespace

int vscan_data_file(DataFile* f, const char* format, va_list ap_in) {
    if (!f || !format) return -1;
    va_list ap;
    va_copy(ap, ap_in);
    Scanner s{f};
    int count = 0;
    auto input_end = [&] { return count ? count : -1; };
    int result = -2;
    const char* p = format;
    while (*p && result == -2) {
        if (isspace((unsigned char)*p)) {
            s.skip_space();
            p++;
            continue;
        }
        if (*p != '%' || p[1] == '%') {
            if (*p == '%') {
                p++;
                if (!s.skip_space()) {
                    result = input_end();
                    break;
                }
            }
            int c = s.get();
            if (c != (unsigned char)*p) {
                s.unget(c);
                result = c < 0 ? input_end() : count;
                break;
            }
            p++;
            continue;
        }
        p++;
        bool assign = true;
        if (*p == '*') {
            assign = false;
            p++;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') {
            width = width > 100000000 ? width : width * 10 + (*p - '0');
            p++;
        }
        Size size = SIZE_NONE;
        if (*p == 'h') {
            size = p[1] == 'h' ? SIZE_HH : SIZE_H;
            p += p[1] == 'h' ? 2 : 1;
        } else if (*p == 'l') {
            size = p[1] == 'l' ? SIZE_LL : SIZE_L;
            p += p[1] == 'l' ? 2 : 1;
        } else if (*p == 'L' || *p == 'q') {
            size = SIZE_LD;
            p++;
        }
        char conv = *p ? *p++ : 0;
        if (conv == 'n') {
            if (assign) store_integer(ap, size, true, false, (unsigned long long)s.consumed);
            continue;
        }
        if (!strchr("dioxXfsc[", conv) || conv == 0) {
            result = count;
            break;
        }
        if (conv != 'c' && conv != '[' && !s.skip_space()) {
            result = input_end();
            break;
        }
        switch (conv) {
            case 'd': case 'i': case 'o': case 'x': case 'X': {
                s.left = width ? width : DEFAULT_NUMBER_WIDTH;
                bool negative;
                unsigned long long mag;
                if (!scan_integer(s, conv, negative, mag)) {
                    result = count;
                    break;
                }
                if (assign) {
                    store_integer(ap, size, conv == 'd' || conv == 'i', negative, mag);
                    count++;
                }
                break;
            }
            case 'f': {
                s.left = width ? width : DEFAULT_NUMBER_WIDTH;
                long double v;
                if (!scan_real(s, v)) {
                    result = count;
                    break;
                }
                if (assign) {
                    store_real(ap, size, v);
                    count++;
                }
                break;
            }
            case 's': {
                char* out = assign ? va_arg(ap, char*) : nullptr;
                int n = 0, c;
                s.left = width ? width : INT_MAX;
                while ((c = s.next()) >= 0 && !isspace(c)) {
                    if (out) out[n] = (char)c;
                    n++;
                }
                s.unget(c);
                if (out) {
                    out[n] = 0;
                    count++;
                }
                break;
            }
            case 'c': {
                char* out = assign ? va_arg(ap, char*) : nullptr;
                int want = width ? width : 1;
                int n = 0, c = 0;
                while (n < want && (c = s.get()) >= 0) {
                    if (out) out[n] = (char)c;
                    n++;
                }
                if (n == 0) {
                    result = input_end();
                    break;
                }
                if (out) count++;
                break;
            }
            case '[': {
                bool set[256];
                const char* after = parse_set(p, set);
                if (!after) {
                    result = count;
                    break;
                }
                p = after;
                char* out = assign ? va_arg(ap, char*) : nullptr;
                int n = 0, c;
                s.left = width ? width : INT_MAX;
                while ((c = s.next()) >= 0 && set[c]) {
                    if (out) out[n] = (char)c;
                    n++;
                }
                s.unget(c);
                if (n == 0) {
                    result = c < 0 ? input_end() : count;
                    break;
                }
                if (out) {
                    out[n] = 0;
                    count++;
                }
                break;
            }
        }
    }
    va_end(ap);
    return result == -2 ? count : result;
}

int scan_data_file(DataFile* f, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int r = vscan_data_file(f, format, ap);
    va_end(ap);
    return r;
}
