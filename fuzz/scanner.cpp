// Fuzz target: the formatted scanner. The first byte picks one of the
// formats the data readers use; the rest is the input, scanned repeatedly.
#include <cstdint>

#include "files/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    DataFile* f = open_memory_data_file(data + 1, size - 1);
    if (!f) return 0;
    int i = 0, n = 0;
    unsigned u = 0;
    short h = 0;
    long long ll = 0;
    float a = 0, b = 0, c = 0;
    double d = 0;
    long double ld = 0;
    char s[1024], t[1024], ch[4];
    for (int round = 0; round < 64; round++) {
        int r = 0;
        switch (data[0] % 10) {
            case 0: r = scan_data_file(f, "%d %f %1023s", &i, &a, s); break;
            case 1: r = scan_data_file(f, " [ %f %f %f ]", &a, &b, &c); break;
            case 2: r = scan_data_file(f, "%i %x %o%n", &i, &u, &u, &n); break;
            case 3: r = scan_data_file(f, "%1023[^\n]%*[\n]", s); break;
            case 4: r = scan_data_file(f, "%lf %Lf %hd %lld", &d, &ld, &h, &ll); break;
            case 5: r = scan_data_file(f, "%3c%%%1023[a-z0-9_-]", ch, t); break;
            case 6: r = scan_data_file(f, "%1023s = %1023s", s, t); break;
            case 7: r = scan_data_file(f, "%*d %5f %*s %n", &a, &n); break;
            case 8: r = scan_data_file(f, "(%f,%f)", &a, &b); break;
            default: r = scan_data_file(f, "%1023[^]x-] %c", s, ch); break;
        }
        if (r <= 0 && read_data_char(f) < 0) break;
    }
    close_data_file(f);
    return 0;
}
