// State histories fed from datagrams and demo chunks: any sequence of tics
// keeps the ring ordered, free of repeats, and searchable.
#include "common/common.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static StateHistory h;
    h = StateHistory{};
    for (size_t i = 0; i + 3 <= size; i += 3) {
        int16_t tic;
        std::memcpy(&tic, data + i, 2);
        uint8_t rec[STATE_RECORD_BYTES] = {data[i + 2]};
        if (data[i + 2] == 0xff) {
            HistoryPair p;
            if (history_find(h, tic, p) && (!p.older || !p.newer || p.older->tic > p.newer->tic)) __builtin_trap();
        } else {
            history_add(h, rec, tic);
        }
        int prev = -1;
        for (int k = HISTORY_LENGTH - 1; k >= 0; k--) {
            int t = history_back(h, k).tic;
            if (t < 0) continue;
            if (t <= prev) __builtin_trap();
            prev = t;
        }
    }
    return 0;
}
