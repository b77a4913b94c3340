// Row runs against the mask's own cell-by-cell overlap: random regions, boxes inside, across the
// border, far outside and at the integer limits must give the very same double.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "RegionRuns.h"

TEST(RegionRuns, ShareEqualsTheMasksOverlapForEveryBox) {
    std::mt19937 rng(11);
    const struct {
        unsigned w, h;
        int vertices;  // 0: an empty region list
    } sizes[] = {{1, 1, 3}, {7, 5, 5}, {64, 48, 12}, {320, 240, 40}, {320, 240, 0}, {97, 31, 300}};
    for (const auto& s : sizes)
        for (int trial = 0; trial < 20; ++trial) {
            spygeo::RegionList regions;
            for (int k = 0; k < 2 && s.vertices > 0; ++k) {
                spygeo::Region r;
                for (int v = 0; v < s.vertices; ++v)
                    r.addVertex(float(rng() % (s.w + 20)) - 10.f, float(rng() % (s.h + 20)) - 10.f);
                regions.push_back(r);
            }
            spygeo::RegionMask mask;
            spygeo::buildMask(mask, regions, s.w, s.h);
            spygeo::RegionRuns runs;
            runs.build(mask);
            std::vector<spygeo::Box> boxes = {
                spygeo::Box(0, 0, int(s.w), int(s.h)),       spygeo::Box(-5, -5, int(s.w) + 10, int(s.h) + 10),
                spygeo::Box(int(s.w), 0, 4, 4),              spygeo::Box(-10, -10, 10, 10),
                spygeo::Box(0, 0, 0, 5),                     spygeo::Box(0, 0, 5, -1),
                spygeo::Box(INT_MIN, INT_MIN, INT_MAX, INT_MAX), spygeo::Box(INT_MAX - 1, 0, INT_MAX, 3),
            };
            for (int b = 0; b < 200; ++b)
                boxes.emplace_back(int(rng() % (s.w + 40)) - 20, int(rng() % (s.h + 40)) - 20, int(rng() % (s.w + 1)),
                                   int(rng() % (s.h + 1)));
            for (const auto& box : boxes)
                ASSERT_EQ(runs.share(box), mask.getOverlap(box, 1))
                    << s.w << "x" << s.h << " trial " << trial << " box " << box.x << "," << box.y << " " << box.width
                    << "x" << box.height;
        }
    // A rebuild for another size forgets the old runs.
    spygeo::RegionMask mask;
    spygeo::buildMask(mask, {spygeo::Region{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}, 10, 10);
    spygeo::RegionRuns runs;
    runs.build(mask);
    EXPECT_EQ(runs.share(spygeo::Box(0, 0, 10, 10)), 1.0);
    spygeo::buildMask(mask, {}, 20, 20);
    runs.build(mask);
    EXPECT_EQ(runs.share(spygeo::Box(0, 0, 10, 10)), 0.0);
    EXPECT_EQ(runs.runCount(), 0u);
}
