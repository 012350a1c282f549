// Per-slot state history rings.
#include "common/common.h"

#include <cstring>

namespace {
int ring(int i) { return ((i % HISTORY_LENGTH) + HISTORY_LENGTH) % HISTORY_LENGTH; }
}  // namespace

void history_clear(StateHistory& h) { h = StateHistory{}; }

const HistoryEntry& history_back(const StateHistory& h, int k) { return h.entries[ring(h.newest - k)]; }

bool history_add(StateHistory& h, const uint8_t* record, int tic) {
    if (tic < 0) return false;
    // k = how many entries are newer than the record; an empty entry counts
    // as older than everything.
    int k = 0;
    while (k < HISTORY_LENGTH) {
        const HistoryEntry& e = history_back(h, k);
        if (e.tic <= tic) break;
        k++;
    }
    if (k < HISTORY_LENGTH && history_back(h, k).tic == tic) return false;
    if (k == HISTORY_LENGTH) return false;  // older than a full ring: nothing to keep
    int top = ring(h.newest + 1);           // receives the newest; the oldest is dropped
    for (int j = 0; j < k; j++) h.entries[ring(top - j)] = h.entries[ring(top - j - 1)];
    HistoryEntry& slot = h.entries[ring(top - k)];
    slot.tic = tic;
    std::memcpy(slot.state, record, STATE_RECORD_BYTES);
    h.newest = top;
    if (h.pending < HISTORY_LENGTH) h.pending++;
    return true;
}

bool history_find(const StateHistory& h, int tic, HistoryPair& out) {
    const HistoryEntry& newest = history_back(h, 0);
    if (newest.tic < 0) return false;
    if (newest.tic < tic) {
        const HistoryEntry& before = history_back(h, 1);
        out.older = before.tic >= 0 ? &before : &newest;
        out.newer = &newest;
        return true;
    }
    for (int k = 1; k < HISTORY_LENGTH; k++) {
        const HistoryEntry& e = history_back(h, k);
        if (e.tic < 0) break;  // reached the oldest valid entry
        if (e.tic < tic) {
            out.older = &e;
            out.newer = &history_back(h, k - 1);
            return true;
        }
    }
    // Every valid entry is at or after T: the oldest one and the one after it.
    int oldest = 0;
    while (oldest + 1 < HISTORY_LENGTH && history_back(h, oldest + 1).tic >= 0) oldest++;
    out.older = &history_back(h, oldest);
    out.newer = &history_back(h, oldest > 0 ? oldest - 1 : 0);
    return true;
}
