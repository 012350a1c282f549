// Start places of the default track through the game's own placement rule:
// every one of the 160 places is on the flat start pad behind its gate.
#include "tools/datakit/datakit_local.h"

#include "core/core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

std::vector<GatePart> starting_gate(const std::string& timing_gates) {
    std::istringstream in(timing_gates);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "startinggate:");
    std::vector<GatePart> parts;
    while (std::getline(in, line) && line != "checkpoints:") {
        GatePart p;
        EXPECT_EQ(std::sscanf(line.c_str(), " [ %f %f %f ] %f", &p.x, &p.y, &p.z, &p.angle), 4) << line;
        parts.push_back(p);
    }
    return parts;
}

TEST(Veviredoze, BikesStartBehindTheGateOnTheFlatPad) {
    datakit::FileTree tree;
    datakit::add_track_veviredoze(tree);
    const datakit::TrackDesign d = datakit::design_veviredoze();
    std::vector<GatePart> parts = starting_gate(tree["veviredoze/timing_gates"]);
    ASSERT_EQ(int(parts.size()), 40);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        StartPlace place = start_place(slot, parts, float(d.vertices - 1) * float(d.cell));
        double a = place.angle, x = place.x, z = place.z;
        // The bike's rear wheel (6 ft behind its origin) is on the pad too.
        double rx = x + std::sin(a) * 6, rz = z + std::cos(a) * 6;
        EXPECT_NEAR(d.height_at(x, z), 0.0, 0.01) << slot;
        EXPECT_NEAR(d.height_at(rx, rz), 0.0, 0.01) << slot;
    }
    // Gates one beside the other, facing down the chute.
    const auto& c = d.chute[0];
    EXPECT_NEAR(-std::sin(parts[0].angle), c.dx, 1e-6);
    EXPECT_NEAR(-std::cos(parts[0].angle), c.dz, 1e-6);
    EXPECT_NEAR(std::hypot(parts[1].x - parts[0].x, parts[1].z - parts[0].z), d.gate_spacing, 1e-4);
}

}  // namespace
