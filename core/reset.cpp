// Track reset: start lists, the robot roster, the gate drop, start places,
// the track-object grid and the track digest.
#include "core/core.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// Numbers 20..39 ride the 125 class five to a model; 40..99 the 250 class in
// blocks of five, with the special edition closing two of the blocks.
const char* roster_bike(int number) {
    static const char* const small[4] = {"kx125", "yz125", "cr125", "rm125"};
    static const char* const big[4] = {"crf250", "kx250f", "rmz250", "yz250f"};
    if (number < 40) return small[(number - 20) / 5];
    if (number == 59 || number == 79) return "yz250f_se(2006)";
    return big[((number - 40) / 5) % 4];
}

std::array<RosterEntry, ROSTER_SIZE> make_roster() {
    std::array<RosterEntry, ROSTER_SIZE> r{};
    for (int i = 0; i < ROSTER_SIZE; i++) {
        RosterEntry& e = r[size_t(i)];
        int number = 20 + i;
        e.number[0] = char('0' + number / 10);
        e.number[1] = char('0' + number % 10);
        e.number[2] = 0;
        e.personality = 1 + number % 3;  // the three racing personalities in turn
        e.bike = roster_bike(number);
    }
    return r;
}
}  // namespace

const RosterEntry& roster_entry(int i) {
    static const std::array<RosterEntry, ROSTER_SIZE> roster = make_roster();
    return roster[size_t(std::clamp(i, 0, ROSTER_SIZE - 1))];
}

std::string full_bike_model(const std::string& name) {
    for (const char* s : {"crf250", "kx250f", "rmz250", "yz250f"})
        if (name == s) return name + "(2008)";
    return name;
}

std::array<int, ROSTER_SIZE> shuffle_roster(Mt19937& r) {
    std::array<int, ROSTER_SIZE> order;
    for (int i = 0; i < ROSTER_SIZE; i++) order[size_t(i)] = i;
    for (int p = ROSTER_SIZE - 1; p >= 1; p--) {
        int j = int((mt_next(r) >> 16) % uint32_t(p));
        std::swap(order[size_t(p)], order[size_t(j)]);
    }
    return order;
}

int draw_gate_drop_tic(Mt19937& r) {
    uint32_t u = mt_next(r) & 0x7fffffffu;
    return int((double(u) * (1.0 / 1073741824.0) + 13) / TIC_SECONDS);
}

int settle_start_list(StartList& list) {
    int viewed = 0;
    for (int s = 0; s < SLOT_COUNT; s++)
        if (list[size_t(s)] != START_EMPTY) {
            viewed = s;
            break;
        }
    bool human = false;
    for (int s = 0; s < SLOT_COUNT; s++) {
        if (list[size_t(s)] != START_HUMAN) continue;
        if (human) {
            list[size_t(s)] = START_EMPTY;
        } else {
            human = true;
            viewed = s;
        }
    }
    return viewed;
}

namespace {
struct RosterPicker {
    const std::array<int, ROSTER_SIZE>& order;
    std::array<bool, ROSTER_SIZE> used{};

    // The next unused entry in shuffled order whose bike contains `filter`;
    // once all such entries ride, they are used again.
    int pick(const char* filter) {
        for (int pass = 0; pass < 2; pass++)
            for (int i : order) {
                if (pass == 0 && used[size_t(i)]) continue;
                if (filter && !std::strstr(roster_entry(i).bike, filter)) continue;
                used[size_t(i)] = true;
                return i;
            }
        return -1;
    }
};

void robot_plan(SlotPlan& p, int roster, const PlanInputs& in) {
    const RosterEntry& e = roster_entry(roster);
    p.create = true;
    p.kind = ROBOT;
    p.roster = roster;
    p.number = e.number;
    p.bike = full_bike_model(e.bike);
    for (int k = 0; k < SKIN_COUNT; k++) p.skins[size_t(k)] = e.skins[k] ? e.skins[k] : "";
    p.personality = in.practice ? PERSONALITY_TESTER : e.personality;
}
}  // namespace

std::array<SlotPlan, SLOT_COUNT> plan_slots(const StartList& list, const std::array<int, ROSTER_SIZE>& order,
                                            const PlanInputs& in) {
    std::array<SlotPlan, SLOT_COUNT> plans;
    RosterPicker picker{order};
    int demo_next = 0;
    bool human_seen = false;
    for (int s = 0; s < SLOT_COUNT; s++) {
        SlotPlan& p = plans[size_t(s)];
        int code = list[size_t(s)];
        p.code = code;
        switch (code) {
            case START_EMPTY:
                if (demo_next < in.demo_riders) {
                    p.create = true;
                    p.kind = REMOTE;
                    p.demo_rider = demo_next++;
                }
                break;
            case START_HUMAN:
                if (human_seen) break;  // only the first counts
                human_seen = true;
                p.create = true;
                p.kind = LOCAL;
                p.number = in.player_number;
                p.bike = in.player_bike;
                p.skins = in.player_skins;
                break;
            case START_ROBOT: robot_plan(p, picker.pick(nullptr), in); break;
            case START_ROBOT_125: robot_plan(p, picker.pick("125"), in); break;
            case START_ROBOT_250: robot_plan(p, picker.pick("250"), in); break;
            case START_SERVER:
                p.create = true;
                p.kind = REMOTE;
                break;
            default:
                if (code >= START_ROSTER + 20 && code < START_ROSTER + 20 + ROSTER_SIZE) {
                    int i = code - START_ROSTER - 20;
                    picker.used[size_t(i)] = true;
                    robot_plan(p, i, in);
                } else if (code >= START_ROSTER) {
                    // No such rider: the next roster entry's bike and skins
                    // under the number that was asked for.
                    robot_plan(p, picker.pick(nullptr), in);
                    p.number = std::to_string(code - START_ROSTER);
                } else {
                    p.create = true;  // a bare bike, no skins, kind unchanged
                    p.kind = REMOTE;
                    p.bike = "rm125";
                }
        }
    }
    return plans;
}

// ---------------------------------------------------------------------------

StartPlace start_place(int k, const std::vector<GatePart>& gates, float extent) {
    int g_count = int(gates.size());
    if (g_count == 0) return {extent * 0.5f + 5.0f * float(k), extent * 0.5f, 0};
    const GatePart& g = gates[size_t(k % g_count)];
    float back = (float(k / g_count) + 0.0625f) * 10;
    return {g.x + std::sin(g.angle) * back, g.z + std::cos(g.angle) * back, g.angle};
}

StartPlace server_start_place(int place, const std::vector<GatePart>& gates, float extent) {
    return start_place(place < 0 ? 0 : place, gates, extent);
}

StartPlace server_other_place(int n, int local_place, const std::vector<GatePart>& gates, float extent) {
    int k = int(gates.size()) + n;
    // Keep clear of the local rider's own place when it is behind the gates.
    if (local_place >= int(gates.size()) && k >= local_place) k++;
    return start_place(k, gates, extent);
}

// ---------------------------------------------------------------------------

namespace {
int cell_of(float v, const ObjectGrid& g) {
    if (!(v >= 0)) return 0;  // also NaN
    int c = int(v / g.cell_size);
    return c >= g.cells ? g.cells - 1 : c;
}
}  // namespace

ObjectGrid build_object_grid(const std::vector<ObjectBounds>& objects, float extent, float cell) {
    ObjectGrid g;
    if (!(cell > 0)) cell = OBJECT_GRID_CELL;
    float cells = extent > 0 ? std::ceil(extent / cell) : 1;
    g.cells = int(std::clamp(cells, 1.0f, 256.0f));
    g.cell_size = extent > 0 ? extent / float(g.cells) : cell;
    g.buckets.assign(size_t(g.cells) * size_t(g.cells), {});
    for (int i = 0; i < int(objects.size()); i++) {
        const ObjectBounds& o = objects[size_t(i)];
        float r = std::fabs(o.radius);
        for (int cz = cell_of(o.z - r, g); cz <= cell_of(o.z + r, g); cz++)
            for (int cx = cell_of(o.x - r, g); cx <= cell_of(o.x + r, g); cx++)
                g.buckets[size_t(cz) * size_t(g.cells) + size_t(cx)].push_back(i);
    }
    return g;
}

void objects_near(const ObjectGrid& g, float x, float z, float radius, std::vector<int>& out) {
    out.clear();
    if (g.cells == 0) return;
    float r = std::fabs(radius);
    for (int cz = cell_of(z - r, g); cz <= cell_of(z + r, g); cz++)
        for (int cx = cell_of(x - r, g); cx <= cell_of(x + r, g); cx++) {
            const std::vector<int>& b = g.buckets[size_t(cz) * size_t(g.cells) + size_t(cx)];
            out.insert(out.end(), b.begin(), b.end());
        }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

// ---------------------------------------------------------------------------

void digest_file(Ripemd160& d, const std::string& path, const ReadWholeFile& read) {
    std::string bytes;
    if (read && read(path, bytes)) ripemd160_update(d, bytes.data(), bytes.size());
}

void digest_models(Ripemd160& d, const std::vector<std::string>& models, const ReadWholeFile& read) {
    std::vector<std::string> seen;
    for (const std::string& m : models) {
        if (m.empty() || std::find(seen.begin(), seen.end(), m) != seen.end()) continue;
        seen.push_back(m);
        digest_file(d, m, read);
    }
}

Digest160 track_digest(const std::string& track, const std::vector<std::string>& models, const ReadWholeFile& read) {
    Ripemd160 d;
    ripemd160_init(d);
    for (const char* f : DIGEST_SCAN_FILES) digest_file(d, "@" + track + f, read);
    digest_file(d, "@" + track + "/timing_gates", read);
    digest_file(d, "@" + track + "/statues", read);
    digest_models(d, models, read);
    return ripemd160_final(d);
}
