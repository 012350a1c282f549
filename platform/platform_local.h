// Internals of the platform layer shared between its source files and its
// tests: the event ring, the software mixer, the log's line prefix.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

// ---------------------------------------------------------------------------
// Event ring: 256 events kept in time order; an event arriving when 256 are
// queued is dropped. Callers hold the event lock.
inline constexpr int EVENT_QUEUE_SIZE = 256;

struct EventQueue {
    std::array<ZumiEvent, EVENT_QUEUE_SIZE> ring{};
    int head = 0;   // index of the oldest event
    int count = 0;
};
// Goes to the end, then moves forward past every event with a later time.
bool event_queue_push(EventQueue& q, const ZumiEvent& e);
bool event_queue_pop(EventQueue& q, ZumiEvent* e);
// Pops only when the oldest event's time is not later than until.
bool event_queue_pop_until(EventQueue& q, double until, ZumiEvent* e);

// ---------------------------------------------------------------------------
// Log line prefix "[%d:%02d:%02d.%02d] " for a clock reading in seconds.
std::string log_prefix(double seconds);

// ---------------------------------------------------------------------------
// Software mixer. Levels 0..31; a level's table gives the signed contribution
// of each 8-bit sample.
inline constexpr int MIX_LEVELS = 32;
inline constexpr int DEFAULT_CHANNEL_LIMIT = 16;
inline constexpr int DEFAULT_SOUND_RATE = 22050;
inline constexpr int DEFAULT_MIXAHEAD_MS = 125;
inline constexpr int FRAGMENT_COUNT = 64;

const std::array<std::array<int16_t, 256>, MIX_LEVELS>& level_tables();

struct MixEntry {
    uint32_t position = 0;   // byte offset into the data
    uint32_t fraction = 0;   // 31-bit fraction of the next byte
    int level = 0;           // level in use; a change waits for a zero crossing
    int last_top_bit = 1;    // top bit of the previous sample (128 = silence has it set)
};

struct Mixer;

struct ZumiSoundData {
    std::vector<uint8_t> bytes;
};

// One sound (waveout and readback back ends).
struct ZumiSound {
    Mixer* mixer = nullptr;
    std::shared_ptr<ZumiSoundData> data;  // shared by duplicates
    bool loop = false;
    bool playing = false;  // in the mix lists
    bool restart = false;
    bool finished = false;
    int rate = 0;
    int volume = 32767;
    int pan = 0;
    int target_level[2] = {0, 0};  // left, right
    MixEntry entry[2];
    uint64_t serial = 0;  // play order, for a stable order within a level
};

struct Mixer {
    ZumiSoundDevice* owner = nullptr;  // the back end the sounds belong to
    int rate = DEFAULT_SOUND_RATE;
    bool stereo = true;
    int channel_limit = DEFAULT_CHANNEL_LIMIT;
    std::vector<ZumiSound*> playing;  // sounds in the mix lists
    std::vector<int> accum[2];
    std::vector<uint8_t> out;
    uint64_t next_serial = 0;
};

void mixer_init(Mixer& m, int rate, bool stereo, int channel_limit);
void sound_update_levels(ZumiSound& s);
// Mixes n frames into m.out (8-bit, interleaved when stereo).
void mixer_mix(Mixer& m, int frames);
void mixer_remove(Mixer& m, ZumiSound* s);
// Mix-ahead in fragments of 1/64 s for a time in milliseconds: 1..32.
int mixahead_fragments(int milliseconds);
// Sound operations without any locking (the back ends lock around them).
ZumiSound* mixer_create_sound(Mixer& m, int length, const uint8_t* data, int data_rate);
void mixer_play(ZumiSound& s);
void mixer_write(ZumiSound& s, int length, const uint8_t* data, int position);
int mixer_position(const ZumiSound& s);
// 8-bit output byte for an accumulator value.
// Closes the open output device, if any (the fatal path).
void close_current_sound();
inline uint8_t mix_output_u8(int a) { return a < -127 ? 0 : a >= 127 ? 255 : static_cast<uint8_t>(a + 128); }
