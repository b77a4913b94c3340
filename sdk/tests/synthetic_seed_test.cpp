// The synthetic scene's seed option: seed 0 is the fixed scene, other seeds vary it repeatably.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "csdk_config.h"
#include "csdk_synthetic.h"

using csdk_standin::SyntheticScene;

namespace {

std::vector<SyntheticScene::MoverBox> boxesOf(uint32_t seed, double seconds) {
    SyntheticScene scene(false, false, 0);
    scene.setSeed(seed);
    EXPECT_TRUE(scene.prepare(320, 240));
    std::vector<SyntheticScene::MoverBox> boxes;
    scene.moverBoxes(seconds, boxes);
    return boxes;
}

bool same(const std::vector<SyntheticScene::MoverBox>& a, const std::vector<SyntheticScene::MoverBox>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].person != b[i].person || a[i].left != b[i].left || a[i].top != b[i].top || a[i].right != b[i].right)
            return false;
    return true;
}

}  // namespace

TEST(SyntheticSeed, SeedsVaryTheMoversRepeatably) {
    SyntheticScene fixed(false, false, 0);
    ASSERT_TRUE(fixed.prepare(320, 240));
    std::vector<SyntheticScene::MoverBox> unseeded;
    fixed.moverBoxes(3.0, unseeded);
    EXPECT_TRUE(same(boxesOf(0, 3.0), unseeded));

    std::set<size_t> counts;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const auto boxes = boxesOf(seed, 3.0);
        EXPECT_TRUE(same(boxes, boxesOf(seed, 3.0))) << seed;
        EXPECT_FALSE(same(boxes, boxesOf(seed + 100, 3.0))) << seed;
        ASSERT_GE(boxes.size(), 3u);
        ASSERT_LE(boxes.size(), static_cast<size_t>(SyntheticScene::kMaxMoverCount));
        EXPECT_TRUE(boxes[0].person && !boxes[1].person) << seed;
        for (const auto& b : boxes) {
            const double aspect = (b.right - b.left) / (b.bottom - b.top);
            EXPECT_TRUE(b.person ? aspect < 0.5 : aspect > 1.9) << seed;
        }
        counts.insert(boxes.size());
    }
    EXPECT_GT(counts.size(), 1u);
}

TEST(SyntheticSeed, SourceOption) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t seed;
    } cases[] = {{"synthetic:seed=7", true, 7}, {"synthetic:night,seed=4294967295", true, 4294967295u},
                 {"synthetic", true, 0}, {"synthetic:seed=x", false, 0}, {"synthetic:seed=-1", false, 0}};
    for (const Case& c : cases) {
        csdk_standin::SourceSpec spec;
        std::string error;
        EXPECT_EQ(csdk_standin::parseSource(c.text, spec, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(spec.seed, c.seed) << c.text;
        }
    }
}
