// Sound back ends. "dsnd" is not offered on this platform and reports itself
// unavailable; "waveout" is an SDL audio device fed from our own mixing
// thread one fragment (1/64 s) at a time; the readback device mixes into
// memory when asked (recording).
#include <SDL.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/platform_local.h"

enum SoundKind { SOUND_WAVEOUT, SOUND_READBACK };

struct ZumiSoundDevice {
    SoundKind kind = SOUND_READBACK;
    Mixer mixer;
    // waveout
    SDL_AudioDeviceID device = 0;
    int fragment_frames = 0;
    int mixahead = 8;
    std::mutex lock;  // every sound operation and the mixing of one fragment
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    // readback
    int frames_per_read = 0;
};

namespace {

// Run-wide: one device may be open at a time.
ZumiSoundDevice* open_device = nullptr;

// Locks the service lock for waveout; readback runs on the caller's thread.
struct SoundLock {
    std::unique_lock<std::mutex> hold;
    explicit SoundLock(ZumiSoundDevice* d) {
        if (d && d->kind == SOUND_WAVEOUT) hold = std::unique_lock<std::mutex>(d->lock);
    }
};

ZumiSoundDevice* device_of(ZumiSound* s) { return s && s->mixer ? s->mixer->owner : nullptr; }

int read_sound_rate() {
    int rate = zumi_option_number("sound-rate", DEFAULT_SOUND_RATE);
    if (rate < 1000 || rate > 192000) {
        zumi_log("Bad sound-rate %d, using %d\n", rate, DEFAULT_SOUND_RATE);
        rate = DEFAULT_SOUND_RATE;
    }
    return rate;
}

int read_channel_limit() {
    int n = zumi_option_number("sound-channels", DEFAULT_CHANNEL_LIMIT);
    if (n < 0) n = 0;
    if (n > 2 * FRAGMENT_COUNT * MIX_LEVELS) n = 2 * FRAGMENT_COUNT * MIX_LEVELS;
    return n;
}

void audio_thread(ZumiSoundDevice* d) {
    zumi_log("Audio thread begin\n");
    const int frame_bytes = d->mixer.stereo ? 2 : 1;
    const Uint32 fragment_bytes = static_cast<Uint32>(d->fragment_frames * frame_bytes);
    long written = 0;
    int b = 0;
    while (!d->stop.load()) {
        if (written >= d->mixahead) {
            // Wait until the fragment mix-ahead places back has been played,
            // checking every 15 ms (and for the stop request each time).
            int checks = 0;
            while (!d->stop.load() &&
                   SDL_GetQueuedAudioSize(d->device) > static_cast<Uint32>(d->mixahead - 1) * fragment_bytes) {
                SDL_Delay(15);
                if (++checks == 67) {
                    SDL_ClearQueuedAudio(d->device);
                    zumi_log("Audio thread: Timeout on fragment %ld\n", written);
                    checks = 0;
                }
            }
            if (d->stop.load()) break;
        }
        {
            std::lock_guard<std::mutex> hold(d->lock);
            mixer_mix(d->mixer, d->fragment_frames);
        }
        if (SDL_QueueAudio(d->device, d->mixer.out.data(), fragment_bytes) != 0)
            zumi_log("Audio thread: Write error\n");
        written++;
        b = (b + 1) % FRAGMENT_COUNT;
    }
    zumi_log("Audio thread end\n");
}

ZumiSoundDevice* open_waveout() {
    zumi_log("Opening waveOut audio...\n");
    if (open_device) {
        zumi_log("Audio already open\n");
        return nullptr;
    }
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        zumi_log("No audio device\n");
        return nullptr;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    zumi_log("Found a %s\n", driver ? driver : "sound device");
    auto* d = new ZumiSoundDevice;
    d->kind = SOUND_WAVEOUT;
    int channels = read_channel_limit();
    int rate = read_sound_rate();
    d->mixahead = mixahead_fragments(zumi_option_number("sound-mixahead", DEFAULT_MIXAHEAD_MS));
    d->fragment_frames = rate / FRAGMENT_COUNT;

    SDL_AudioSpec want{}, have{};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = 2;
    want.samples = 256;
    d->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (d->device == 0) {
        zumi_log("Can't open waveOut\n");
        delete d;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    bool stereo = have.channels == 2;
    if (have.channels != 1 && have.channels != 2) {
        // Neither mono nor stereo: let the device convert from stereo.
        SDL_CloseAudioDevice(d->device);
        d->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        stereo = true;
        if (d->device == 0) {
            zumi_log("Can't open waveOut\n");
            delete d;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return nullptr;
        }
    }
    mixer_init(d->mixer, rate, stereo, channels);
    d->mixer.owner = d;
    zumi_log("Waveout rate: %d\n", rate);
    zumi_log("Waveout channels: %d\n", channels);
    zumi_log("Waveout mixahead: %d\n", d->mixahead * 1000 / FRAGMENT_COUNT);
    SDL_PauseAudioDevice(d->device, 0);
    d->running = true;
    d->thread = std::thread(audio_thread, d);
    zumi_log("Audio opened!\n");
    open_device = d;
    return d;
}

}  // namespace

ZumiSoundDevice* zumi_open_sound(ZumiWindow*) {
    if (zumi_option_flag("dsnd", 1)) zumi_log("DirectSound is not available on this system\n");
    if (!zumi_option_flag("waveout", 1)) return nullptr;
    return open_waveout();
}

ZumiSoundDevice* zumi_open_readback(int rate, int frames_per_read) {
    zumi_log("Opening readback audio...\n");
    if (rate <= 0 || frames_per_read <= 0) {
        zumi_log("Bad readback format %d/%d\n", rate, frames_per_read);
        return nullptr;
    }
    auto* d = new ZumiSoundDevice;
    d->kind = SOUND_READBACK;
    d->frames_per_read = frames_per_read;
    mixer_init(d->mixer, rate, true, read_channel_limit());
    d->mixer.owner = d;
    zumi_log("Audio opened!\n");
    return d;
}

void zumi_close_sound(ZumiSoundDevice* d) {
    if (!d) {
        zumi_log("Can't close audio, not open\n");
        return;
    }
    zumi_log("Closing audio\n");
    if (d->kind == SOUND_WAVEOUT) {
        d->stop = true;
        if (d->thread.joinable()) d->thread.join();
        d->running = false;
        SDL_ClearQueuedAudio(d->device);
        SDL_CloseAudioDevice(d->device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (open_device == d) open_device = nullptr;
    }
    // Sounds still alive lose their mixer; freeing them later is safe.
    for (ZumiSound* s : d->mixer.playing) s->playing = false;
    delete d;
}

void close_current_sound() {
    if (open_device) zumi_close_sound(open_device);
}

bool zumi_sound_thread_running(ZumiSoundDevice* d) { return d && d->running.load(); }
int zumi_sound_output_rate(ZumiSoundDevice* d) { return d ? d->mixer.rate : 0; }
void zumi_commit_sound(ZumiSoundDevice*) {}

const uint8_t* zumi_read_mixed(ZumiSoundDevice* d, int* bytes) {
    if (!d || d->kind != SOUND_READBACK) {
        if (bytes) *bytes = 0;
        return nullptr;
    }
    mixer_mix(d->mixer, d->frames_per_read);
    if (bytes) *bytes = static_cast<int>(d->mixer.out.size());
    return d->mixer.out.data();
}

ZumiSound* zumi_create_sound(ZumiSoundDevice* d, int length, const uint8_t* data, int data_rate) {
    if (!d) return nullptr;
    SoundLock hold(d);
    return mixer_create_sound(d->mixer, length, data, data_rate);
}

ZumiSound* zumi_duplicate_sound(ZumiSound* s) {
    if (!s) return nullptr;
    SoundLock hold(device_of(s));
    auto* copy = new ZumiSound;
    copy->mixer = s->mixer;
    copy->data = s->data;
    copy->rate = s->mixer->rate;
    copy->pan = s->mixer->stereo ? 0 : -32768;
    sound_update_levels(*copy);
    return copy;
}

void zumi_free_sound(ZumiSound* s) {
    if (!s) return;
    {
        SoundLock hold(device_of(s));
        if (s->playing) mixer_remove(*s->mixer, s);
    }
    delete s;
}

void zumi_play_sound(ZumiSound* s) {
    if (!s) return;
    SoundLock hold(device_of(s));
    mixer_play(*s);
}

void zumi_stop_sound(ZumiSound* s) {
    if (!s) return;
    SoundLock hold(device_of(s));
    if (s->playing) s->finished = true;
}

void zumi_set_sound_rate(ZumiSound* s, int rate) {
    if (!s) return;
    SoundLock hold(device_of(s));
    s->rate = rate < 0 ? 0 : rate;
}

void zumi_set_sound_volume(ZumiSound* s, int volume) {
    if (!s) return;
    SoundLock hold(device_of(s));
    s->volume = volume < 0 ? 0 : volume > 32767 ? 32767 : volume;
    sound_update_levels(*s);
}

void zumi_set_sound_pan(ZumiSound* s, int pan) {
    if (!s) return;
    SoundLock hold(device_of(s));
    if (!s->mixer->stereo) return;
    s->pan = pan < -32767 ? -32767 : pan > 32767 ? 32767 : pan;
    sound_update_levels(*s);
}

void zumi_set_sound_loop(ZumiSound* s, bool loop) {
    if (!s) return;
    SoundLock hold(device_of(s));
    s->loop = loop;
}

int zumi_sound_position(ZumiSound* s) {
    if (!s) return 0;
    SoundLock hold(device_of(s));
    return mixer_position(*s);
}

void zumi_write_sound(ZumiSound* s, int length, const uint8_t* data, int position) {
    if (!s) return;
    SoundLock hold(device_of(s));
    mixer_write(*s, length, data, position);
}
