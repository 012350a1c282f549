// Checked allocation and the fatal path.
#include "common/common.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {
struct BlockRecord {
    int serial;
    size_t size;
};
// Run-wide: the table of live blocks while checking is on. Guarded by a mutex
// because the audio thread may allocate too.
struct AllocState {
    std::mutex lock;
    int mode = -1;  // -1: environment not read yet; 0: off; 1: recording
    int serial = 0;
    std::unordered_map<void*, BlockRecord> blocks;
};
AllocState& alloc_state() {
    static AllocState* s = new AllocState;  // never destroyed: used until exit
    return *s;
}

bool env_enables_checking(const char* text) {
    if (!text || !*text) return false;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    return end != text && v > 0;
}

// Called with the lock held.
bool checking_locked(AllocState& s) {
    if (s.mode < 0) s.mode = env_enables_checking(std::getenv("QZ_CHECK_ALLOC")) ? 1 : 0;
    return s.mode == 1;
}

void record_locked(AllocState& s, void* p, size_t size) {
    if (!p) return;
    if (s.blocks.size() >= size_t(ALLOC_TABLE_SIZE)) {
        std::fputs("Too many allocations to check!\n", stderr);
        s.mode = 0;
        s.blocks.clear();
        return;
    }
    s.blocks[p] = {s.serial++, size};
}

FatalHooks& fatal_hooks() {
    static FatalHooks h;
    return h;
}
}  // namespace

void* qz_malloc(size_t size) {
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    void* p = std::malloc(size);
    if (checking_locked(s)) record_locked(s, p, size);
    return p;
}

void* qz_calloc(size_t count, size_t size) {
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    void* p = std::calloc(count, size);
    if (checking_locked(s)) record_locked(s, p, count * size);
    return p;
}

void qz_free(void* block) {
    if (!block) return;
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    if (checking_locked(s)) {
        auto it = s.blocks.find(block);
        if (it == s.blocks.end()) {
            std::fprintf(stderr, "Allocation not found for %p!\n", block);
            return;  // not ours: leave it alone
        }
        std::memset(block, 0, it->second.size);
        s.blocks.erase(it);
    }
    std::free(block);
}

void* qz_realloc(void* block, size_t size) {
    if (!block) return qz_malloc(size);
    if (size == 0) {
        qz_free(block);
        return nullptr;
    }
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    if (!checking_locked(s)) return std::realloc(block, size);
    auto it = s.blocks.find(block);
    if (it == s.blocks.end()) {
        std::fprintf(stderr, "Allocation not found for %p!\n", block);
        return std::realloc(block, size);
    }
    // Move by hand so the old block can be zero-filled before it is freed.
    void* p = std::malloc(size);
    if (!p) return nullptr;  // the old block stays valid, as with realloc
    size_t old_size = it->second.size;
    std::memcpy(p, block, old_size < size ? old_size : size);
    std::memset(block, 0, old_size);
    s.blocks.erase(it);
    std::free(block);
    record_locked(s, p, size);
    return p;
}

bool alloc_checking() {
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    return checking_locked(s);
}

int alloc_live_count() {
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    return checking_locked(s) ? int(s.blocks.size()) : 0;
}

void alloc_report_unfreed() {
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    if (!checking_locked(s)) return;
    for (const auto& [p, rec] : s.blocks) std::fprintf(stderr, "%p:%d\n", p, rec.serial);
}

void alloc_check_reset_for_tests(bool enable) {
    AllocState& s = alloc_state();
    std::lock_guard<std::mutex> g(s.lock);
    s.blocks.clear();
    s.serial = 0;
    s.mode = enable ? 1 : 0;
}

void* qz_must_malloc(size_t size) {
    void* p = qz_malloc(size ? size : 1);
    if (!p) fatal_out_of_memory();
    return p;
}

void* qz_must_calloc(size_t count, size_t size) {
    void* p = qz_calloc(count ? count : 1, size ? size : 1);
    if (!p) fatal_out_of_memory();
    return p;
}

void* qz_must_realloc(void* block, size_t size) {
    void* p = qz_realloc(block, size ? size : 1);
    if (!p) fatal_out_of_memory();
    return p;
}

void set_fatal_hooks(const FatalHooks& hooks) { fatal_hooks() = hooks; }

void error_box(const char* caption, const char* fmt, ...) {
    char text[ERROR_BOX_TEXT_CHARS + 1];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    const FatalHooks& h = fatal_hooks();
    if (h.show_box) {
        h.show_box(caption, text);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        std::fflush(stderr);
    }
}

void fatal_out_of_memory() {
    const FatalHooks& h = fatal_hooks();
    if (h.close_audio) h.close_audio();
    if (h.close_gl) h.close_gl();
    error_box("Error", "Out of virtual memory");
    if (h.exit_program) h.exit_program(1);
    std::exit(1);
}
