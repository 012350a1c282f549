// Pictures shared by every track: seamless ground textures, the sky box,
// the roost particle, trees, crowd and the flag marshals.
#include "tools/datakit/datakit_local.h"

#include <algorithm>
#include <cmath>

namespace datakit {
namespace {

uint8_t to_byte(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

void put(Picture& p, int x, int y, double r, double g, double b, double a = 255) {
    if (x < 0 || y < 0 || x >= p.width || y >= p.height) return;
    uint8_t* px = p.at(x, y);
    px[0] = to_byte(r);
    px[1] = to_byte(g);
    px[2] = to_byte(b);
    if (p.channels == 4) px[3] = to_byte(a);
}

struct Rgb {
    double r, g, b;
};

void fill_rect(Picture& p, int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) put(p, x, y, c.r, c.g, c.b);
}

void fill_circle(Picture& p, double cx, double cy, double r, Rgb c) {
    for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; ++y)
        for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; ++x)
            if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= r * r) put(p, x, y, c.r, c.g, c.b);
}

// A seamless ground texture: base colour modulated by tiling noise, with
// small stones or grass blades as a second layer.
Picture ground_texture(Rgb base, Rgb speck, double roughness, double speck_amount, uint32_t seed) {
    const int size = 256;
    Picture p(size, size, 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double n = fractal_noise(x, y, 64, 5, seed, size / 64);
            double fine = value_noise(x, y, 4, seed + 7, size / 4);
            double shade = 1 + roughness * n + 0.06 * fine;
            double s = std::clamp((value_noise(x, y, 2, seed + 13, size / 2) - (1 - speck_amount)) * 4, 0.0, 1.0);
            put(p, x, y, (base.r + (speck.r - base.r) * s) * shade, (base.g + (speck.g - base.g) * s) * shade,
                (base.b + (speck.b - base.b) * s) * shade);
        }
    return p;
}

// One sky face, 256 x 256, row 0 at the top. `elevation` maps a pixel to
// the sine of its angle above the horizon; clouds come from noise over the
// direction.
Picture sky_face(int face, uint32_t seed) {
    const int size = 256;
    Picture p(size, size, 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
            // Direction through the pixel: side faces look out horizontally,
            // with the top row up; the up face looks straight up.
            double dx, dy, dz;
            switch (face) {
                case 0: dx = u; dy = -v; dz = -1; break;   // north
                case 1: dx = 1; dy = -v; dz = u; break;    // east
                case 2: dx = -u; dy = -v; dz = 1; break;   // south
                case 3: dx = -1; dy = -v; dz = -u; break;  // west
                default: dx = u; dy = 1; dz = v; break;    // up
            }
            double len = std::sqrt(dx * dx + dy * dy + dz * dz);
            double el = dy / len;
            double h = std::clamp(el, 0.0, 1.0);
            Rgb zenith{70, 120, 205}, horizon{190, 210, 232}, ground{150, 160, 150};
            double t = std::pow(h, 0.55);
            Rgb c{horizon.r + (zenith.r - horizon.r) * t, horizon.g + (zenith.g - horizon.g) * t,
                  horizon.b + (zenith.b - horizon.b) * t};
            if (el < 0) {
                double g = std::clamp(-el * 6, 0.0, 1.0);
                c = {c.r + (ground.r - c.r) * g, c.g + (ground.g - c.g) * g, c.b + (ground.b - c.b) * g};
            } else {
                // Clouds on a plane above the track, thinning towards the horizon.
                double k = 1 / std::max(el, 0.08);
                double cx = dx / len * k * 300, cz = dz / len * k * 300;
                double n = fractal_noise(cx + 5000, cz + 5000, 400, 5, seed);
                double cloud = std::clamp((n - 0.1) * 2.2, 0.0, 1.0) * std::clamp(el * 5, 0.0, 1.0);
                c = {c.r + (250 - c.r) * cloud, c.g + (250 - c.g) * cloud, c.b + (252 - c.b) * cloud};
            }
            put(p, x, y, c.r, c.g, c.b);
        }
    return p;
}

// The reflection map: sky above, ground below, no detail.
Picture sky_environment() {
    const int size = 128;
    Picture p(size, size, 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double t = double(y) / (size - 1);
            Rgb c = t < 0.5 ? Rgb{120 + 130 * t, 160 + 100 * t, 225} : Rgb{120, 115, 95};
            put(p, x, y, c.r, c.g, c.b);
        }
    return p;
}

// A soft puff of dust: white (the roost colour tints it), alpha falling off
// from the middle with a little noise.
Picture roost_puff() {
    const int size = 64;
    Picture p(size, size, 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double dx = (x + 0.5) / size * 2 - 1, dy = (y + 0.5) / size * 2 - 1;
            double r = std::sqrt(dx * dx + dy * dy) + 0.25 * fractal_noise(x, y, 16, 3, 77);
            double a = std::clamp(1 - r, 0.0, 1.0);
            double shade = 200 + 55 * value_noise(x, y, 8, 91);
            put(p, x, y, shade, shade, shade, 255 * a * a * 1.4);
        }
    return p;
}

// Starting-gate plate: galvanised steel with a white band and dark bolts.
Picture starting_gate_picture() {
    Picture p(64, 64, 3);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double v = 150 + 25 * value_noise(x, y, 8, 55, 8) + (y % 16 == 0 ? -30 : 0);
            put(p, x, y, v, v + 4, v + 10);
        }
    fill_rect(p, 0, 24, 64, 40, {235, 235, 235});
    for (int x = 6; x < 64; x += 13) fill_circle(p, x, 8, 2, {60, 60, 60});
    return p;
}

// A broad-leaved tree: trunk and a lumpy crown. 128 x 256.
Picture tree_picture() {
    Picture p(128, 256, 4);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 128; ++x) {
            double cx = (x + 0.5 - 64) / 60, cy = (y + 0.5 - 100) / 95;
            double n = fractal_noise(x, y, 24, 4, 31);
            double d = std::sqrt(cx * cx + cy * cy) + 0.3 * n;
            if (d < 1) {
                double light = 0.75 + 0.35 * (-cx * 0.5 - cy * 0.6) + 0.2 * value_noise(x, y, 5, 33);
                put(p, x, y, 60 * light, 110 * light, 45 * light, 255);
            } else if (std::abs(x + 0.5 - 64) < 7 - (y - 170) * 0.02 && y > 150) {
                put(p, x, y, 95, 70, 45, 255);
            }
        }
    return p;
}

// Spectators standing in three rows. 256 x 128.
Picture crowd_picture() {
    Picture p(256, 128, 4);
    Rng rng(4242);
    const Rgb shirts[] = {{200, 40, 40}, {40, 90, 200}, {230, 200, 40}, {240, 240, 240}, {30, 30, 30},
                          {60, 160, 70}, {230, 120, 30}, {120, 60, 160}};
    for (int row = 0; row < 3; ++row) {
        int base = 128 - row * 14;
        for (int x = 4 + row * 5; x < 252; x += 14 + int(rng.uniform() * 6)) {
            Rgb shirt = shirts[rng.next() % 8];
            Rgb skin{double(150 + rng.next() % 90), double(110 + rng.next() % 70), double(80 + rng.next() % 60)};
            int h = 70 + int(rng.uniform() * 16);
            fill_rect(p, x, base - h + 22, x + 12, base - h + 58, shirt);                   // body
            fill_rect(p, x + 1, base - h + 58, x + 11, base, {50, 55, 80});               // legs
            fill_circle(p, x + 6, base - h + 14, 7, skin);                                // head
        }
    }
    return p;
}

// A marshal in a high-visibility vest, 64 x 128, with something in the
// hands drawn by `extra`.
template <typename F>
Picture marshal(F extra) {
    Picture p(64, 128, 4);
    fill_rect(p, 22, 82, 30, 126, {40, 45, 70});   // legs
    fill_rect(p, 34, 82, 42, 126, {40, 45, 70});
    fill_rect(p, 20, 40, 44, 84, {250, 140, 20});  // vest
    fill_circle(p, 32, 30, 10, {210, 160, 120});   // head
    fill_rect(p, 22, 18, 42, 24, {240, 240, 240}); // cap
    extra(p);
    return p;
}

void flag(Picture& p, int x, int y, Rgb c, bool raised) {
    fill_rect(p, x, raised ? y - 30 : y, x + 2, raised ? y + 10 : y + 40, {90, 70, 50});  // stick
    if (raised)
        fill_rect(p, x + 2, y - 30, x + 20, y - 14, c);
    else
        fill_rect(p, x + 2, y + 22, x + 16, y + 40, c);
}

void chequered_flag(Picture& p, int x, int y) {
    fill_rect(p, x, y - 30, x + 2, y + 10, {90, 70, 50});
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 5; ++i)
            fill_rect(p, x + 2 + i * 4, y - 30 + j * 4, x + 6 + i * 4, y - 26 + j * 4,
                      (i + j) % 2 ? Rgb{20, 20, 20} : Rgb{245, 245, 245});
}

}  // namespace

void add_shared_pictures(FileTree& tree) {
    tree["dirt.png"] = png_file(ground_texture({132, 98, 66}, {105, 80, 58}, 0.22, 0.35, 11));
    tree["hardpack.png"] = png_file(ground_texture({168, 142, 110}, {140, 120, 95}, 0.12, 0.2, 12));
    tree["grass.png"] = png_file(ground_texture({78, 122, 52}, {110, 150, 62}, 0.2, 0.5, 13));
    const char* faces[] = {"sky-n.ppm", "sky-e.ppm", "sky-s.ppm", "sky-w.ppm", "sky-u.ppm"};
    for (int f = 0; f < 5; ++f) tree[faces[f]] = pnm_file(sky_face(f, 500));
    tree["sky-env.ppm"] = pnm_file(sky_environment());
    tree["roost.png"] = png_file(roost_puff());
    tree["startgate.ppm"] = pnm_file(starting_gate_picture());
    tree["tree.png"] = png_file(tree_picture());
    tree["crowd.png"] = png_file(crowd_picture());
    // Start marshal: the 30-second board, the board turned sideways, board
    // down, walking off, standing aside.
    tree["flagger_start1.png"] = png_file(marshal([](Picture& p) {
        fill_rect(p, 30, 2, 33, 46, {90, 70, 50});
        fill_rect(p, 18, 0, 46, 18, {240, 240, 240});
        fill_rect(p, 22, 4, 26, 14, {20, 20, 20});
        fill_rect(p, 34, 4, 42, 14, {20, 20, 20});
    }));
    tree["flagger_start2.png"] = png_file(marshal([](Picture& p) {
        fill_rect(p, 30, 2, 33, 46, {90, 70, 50});
        fill_rect(p, 29, 0, 35, 18, {240, 240, 240});
    }));
    tree["flagger_start3.png"] = png_file(marshal([](Picture& p) { fill_rect(p, 44, 60, 60, 78, {240, 240, 240}); }));
    tree["flagger_start4.png"] = png_file(marshal([](Picture& p) { fill_rect(p, 2, 60, 18, 78, {240, 240, 240}); }));
    tree["flagger_start5.png"] = png_file(marshal([](Picture&) {}));
    // Finish marshal: racing, halfway (crossed flags), last lap (white),
    // finished (chequered).
    tree["flagger_finish1.png"] = png_file(marshal([](Picture& p) { flag(p, 46, 44, {40, 170, 60}, false); }));
    tree["flagger_finish2.png"] = png_file(marshal([](Picture& p) {
        flag(p, 46, 44, {240, 240, 240}, true);
        flag(p, 14, 44, {240, 240, 240}, true);
    }));
    tree["flagger_finish3.png"] = png_file(marshal([](Picture& p) { flag(p, 46, 44, {245, 245, 245}, true); }));
    tree["flagger_finish4.png"] = png_file(marshal([](Picture& p) { chequered_flag(p, 44, 44); }));
    // Course marshal: yellow flag down, and waved overhead when a rider is down.
    tree["flagger_yellow_idle.png"] = png_file(marshal([](Picture& p) { flag(p, 46, 44, {250, 220, 20}, false); }));
    tree["flagger_yellow_wave.png"] = png_file(marshal([](Picture& p) { flag(p, 46, 44, {250, 220, 20}, true); }));
}

}  // namespace datakit
