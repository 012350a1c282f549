// The software mixer behind the "waveout" and readback back ends: 8-bit
// sounds, 32 loudness levels from precomputed tables (no multiplication per
// sample), integer accumulators and a fixed number of audible entries.
#include <algorithm>
#include <cstring>

#include "platform/platform_local.h"

namespace {

// Whole-number floor division for the table formulas (all operands >= 0).
int table_value(int level, int s) {
    if (s == 128) return 0;
    if (s >= 129) return (s - 129) * level / 32;
    if (s >= 1) return -((127 - s) * level / 32);
    return -(2 * (127 * level / 32) - (126 * level / 32));
}

constexpr uint32_t FRACTION_ONE = 1u << 31;

// Advances an entry by `frames` output frames without adding anything; false
// when a sound that does not loop ran off its end.
bool advance_entry(MixEntry& e, uint32_t step_int, uint32_t step_frac, uint32_t length, bool loop,
                   int frames) {
    uint64_t frac_total = static_cast<uint64_t>(step_frac) * static_cast<uint64_t>(frames) + e.fraction;
    uint64_t pos = e.position + static_cast<uint64_t>(step_int) * static_cast<uint64_t>(frames) +
                   (frac_total >> 31);
    e.fraction = static_cast<uint32_t>(frac_total & (FRACTION_ONE - 1));
    if (pos >= length) {
        if (!loop) return false;
        pos %= length;
    }
    e.position = static_cast<uint32_t>(pos);
    return true;
}

// Adds an entry into acc; false when a sound that does not loop ran off its
// end.
bool mix_entry(MixEntry& e, int target_level, const uint8_t* data, uint32_t length, bool loop,
               uint32_t step_int, uint32_t step_frac, int* acc, int frames) {
    const auto& tables = level_tables();
    for (int f = 0; f < frames; f++) {
        uint8_t s = data[e.position];
        int top = s >> 7;
        if (e.level != target_level && top != e.last_top_bit) e.level = target_level;
        e.last_top_bit = top;
        if (e.level > 0) acc[f] += tables[e.level][s];
        uint32_t frac = e.fraction + step_frac;
        uint64_t pos = static_cast<uint64_t>(e.position) + step_int + (frac >> 31);
        e.fraction = frac & (FRACTION_ONE - 1);
        if (pos >= length) {
            if (!loop) return false;
            pos %= length;
        }
        e.position = static_cast<uint32_t>(pos);
    }
    return true;
}

}  // namespace

const std::array<std::array<int16_t, 256>, MIX_LEVELS>& level_tables() {
    static const auto tables = [] {
        std::array<std::array<int16_t, 256>, MIX_LEVELS> t{};
        for (int level = 1; level < MIX_LEVELS; level++)
            for (int s = 0; s < 256; s++) t[level][s] = static_cast<int16_t>(table_value(level, s));
        return t;
    }();
    return tables;
}

int mixahead_fragments(int milliseconds) {
    long f = static_cast<long>(milliseconds) * FRAGMENT_COUNT / 1000;
    return static_cast<int>(std::clamp(f, 1L, 32L));
}

void mixer_init(Mixer& m, int rate, bool stereo, int channel_limit) {
    m.rate = rate;
    m.stereo = stereo;
    m.channel_limit = channel_limit;
    m.playing.clear();
}

void sound_update_levels(ZumiSound& s) {
    int pan = s.mixer && !s.mixer->stereo ? -32768 : s.pan;
    s.target_level[0] = static_cast<int>((static_cast<int64_t>(32767 - pan) * s.volume) >> 26);
    s.target_level[1] = static_cast<int>((static_cast<int64_t>(s.volume) * (pan + 32768)) >> 26);
    s.target_level[0] = std::clamp(s.target_level[0], 0, MIX_LEVELS - 1);
    s.target_level[1] = std::clamp(s.target_level[1], 0, MIX_LEVELS - 1);
}

void mixer_remove(Mixer& m, ZumiSound* s) {
    m.playing.erase(std::remove(m.playing.begin(), m.playing.end(), s), m.playing.end());
    s->playing = false;
}

ZumiSound* mixer_create_sound(Mixer& m, int length, const uint8_t* data, int data_rate) {
    if (length <= 0) return nullptr;
    level_tables();
    auto* s = new ZumiSound;
    s->mixer = &m;
    s->data = std::make_shared<ZumiSoundData>();
    if (data_rate > 0 && data_rate != m.rate && data) {
        // Nearest-sample stepping to the output rate.
        int64_t out_len = static_cast<int64_t>(length) * m.rate / data_rate;
        if (out_len < 1) out_len = 1;
        s->data->bytes.resize(static_cast<size_t>(out_len));
        for (int64_t i = 0; i < out_len; i++) {
            int64_t src = i * data_rate / m.rate;
            s->data->bytes[static_cast<size_t>(i)] = data[std::min<int64_t>(src, length - 1)];
        }
    } else {
        s->data->bytes.assign(static_cast<size_t>(length), 128);
        if (data) std::memcpy(s->data->bytes.data(), data, static_cast<size_t>(length));
    }
    s->rate = m.rate;
    s->pan = m.stereo ? 0 : -32768;
    sound_update_levels(*s);
    return s;
}

void mixer_play(ZumiSound& s) {
    s.restart = true;
    s.finished = false;
    if (!s.playing) {
        s.playing = true;
        s.serial = s.mixer->next_serial++;
        s.mixer->playing.push_back(&s);
    }
}

int mixer_position(const ZumiSound& s) {
    return s.playing && !s.restart ? static_cast<int>(s.entry[0].position) : 0;
}

void mixer_write(ZumiSound& s, int length, const uint8_t* data, int position) {
    std::vector<uint8_t>& bytes = s.data->bytes;
    const int size = static_cast<int>(bytes.size());
    if (length <= 0 || !data || size == 0) return;
    if (length > size) {  // only the last part fits
        position += length - size;
        data += length - size;
        length = size;
    }
    int pos = ((position % size) + size) % size;
    for (int i = 0; i < length; i++) {
        bytes[static_cast<size_t>(pos)] = data[i];
        if (++pos == size) pos = 0;
    }
}

void mixer_mix(Mixer& m, int frames) {
    const int channels = m.stereo ? 2 : 1;
    for (int c = 0; c < channels; c++) m.accum[c].assign(static_cast<size_t>(frames), 0);

    // Entries ordered by level, loudest first; within a level the left
    // entries come before the right ones, each in play order.
    struct Item {
        ZumiSound* sound;
        int channel;
    };
    std::vector<Item> items;
    for (ZumiSound* s : m.playing)
        for (int c = 0; c < channels; c++) items.push_back({s, c});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        int la = a.sound->target_level[a.channel], lb = b.sound->target_level[b.channel];
        if (la != lb) return la > lb;
        if (a.channel != b.channel) return a.channel < b.channel;
        return a.sound->serial < b.sound->serial;
    });

    int mixed = 0;
    for (const Item& it : items) {
        ZumiSound& s = *it.sound;
        if (s.finished) continue;  // stopped: leaves the lists below
        MixEntry& e = s.entry[it.channel];
        if (s.restart) {  // a sound starts at its level; later changes wait for a crossing
            e.position = 0;
            e.fraction = 0;
            e.level = s.target_level[it.channel];
            e.last_top_bit = s.data->bytes[0] >> 7;
        }
        const uint32_t length = static_cast<uint32_t>(s.data->bytes.size());
        int rate = s.rate > 0 ? s.rate : 0;
        uint32_t step_int = static_cast<uint32_t>(rate / m.rate);
        uint32_t step_frac = static_cast<uint32_t>((static_cast<uint64_t>(rate % m.rate) << 31) / static_cast<uint64_t>(m.rate));
        int level = s.target_level[it.channel];
        bool alive;
        if (mixed < m.channel_limit && level > 0) {
            alive = mix_entry(e, level, s.data->bytes.data(), length, s.loop, step_int, step_frac,
                              m.accum[it.channel].data(), frames);
            mixed++;
        } else {
            alive = advance_entry(e, step_int, step_frac, length, s.loop, frames);
        }
        if (!alive) s.finished = true;
    }
    for (ZumiSound* s : m.playing) s->restart = false;
    // Finished sounds leave the lists; a stereo sound is finished when either
    // entry ran off the end, so both channels stop together.
    std::vector<ZumiSound*> still;
    for (ZumiSound* s : m.playing) {
        if (s->finished)
            s->playing = false;
        else
            still.push_back(s);
    }
    m.playing.swap(still);

    m.out.resize(static_cast<size_t>(frames * channels));
    for (int f = 0; f < frames; f++)
        for (int c = 0; c < channels; c++)
            m.out[static_cast<size_t>(f * channels + c)] = mix_output_u8(m.accum[c][static_cast<size_t>(f)]);
}
