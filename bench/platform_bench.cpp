// Figures for the software mixer: the cost of mixing one fragment (1/64 s of
// 22050 Hz stereo) with n playing sounds, against the same fragment with no
// sound (clearing and converting the accumulators), in one process.
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/platform_local.h"

namespace {

double seconds_per_fragment(int sounds, int channel_limit) {
    Mixer m;
    mixer_init(m, 22050, true, channel_limit);
    std::vector<uint8_t> wave(22050);
    for (size_t i = 0; i < wave.size(); i++) wave[i] = static_cast<uint8_t>(128 + ((i * 37) % 90) - 45);
    std::vector<ZumiSound*> owned;
    for (int i = 0; i < sounds; i++) {
        ZumiSound* s = mixer_create_sound(m, static_cast<int>(wave.size()), wave.data(), 0);
        s->loop = true;
        s->rate = 11025 + 997 * i;  // distinct steps, fractions in use
        s->volume = 32767 - 1000 * (i % 30);
        sound_update_levels(*s);
        mixer_play(*s);
        owned.push_back(s);
    }
    const int fragment = 22050 / FRAGMENT_COUNT;
    const int rounds = 4000;
    mixer_mix(m, fragment);  // warm up
    auto start = std::chrono::steady_clock::now();
    unsigned sink = 0;
    for (int r = 0; r < rounds; r++) {
        mixer_mix(m, fragment);
        sink += m.out[static_cast<size_t>(r) % m.out.size()];
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
    for (ZumiSound* p : owned) delete p;
    if (sink == 1) std::puts("");
    return s;
}

}  // namespace

int main() {
    double base = seconds_per_fragment(0, DEFAULT_CHANNEL_LIMIT);
    std::printf("mix one fragment, no sound: %.2f us\n", base * 1e6);
    for (int n : {1, 8, 16, 64}) {
        double t = seconds_per_fragment(n, DEFAULT_CHANNEL_LIMIT);
        std::printf("%2d sounds (limit 16 entries): %8.2f us  x%.1f of empty  (%.3f%% of the fragment's 15.6 ms)\n", n,
                    t * 1e6, t / base, t / (1.0 / FRAGMENT_COUNT) * 100);
    }
    return 0;
}
