// The synthetic scene through the real pipeline: every mover is followed under one dominant object id.
#include <gtest/gtest.h>

#include "track_scoring.h"

TEST(TrackScore, EachMoverHasOneDominantId) {
    track_score::RunOptions options;
    options.seconds = 40;
    track_score::Scorer scorer;
    ASSERT_TRUE(track_score::runScene(options, scorer));
    const auto movers = scorer.movers();
    EXPECT_EQ(movers.size(), 6u);
    // Movers the detection finds in nearly every frame keep one object per pass (identities hold);
    // the others are limited by the detection, not the tracker.
    int followed = 0;
    for (const auto& m : movers) {
        if (m.coverage() < 0.9) continue;
        ++followed;
        EXPECT_GE(m.dominantShare(), 0.6) << "mover " << m.id;
    }
    EXPECT_GE(followed, 3);
}

// The scorer itself: a switch, a fragment, a miss and a false object on a hand-made track.
TEST(TrackScore, MeasuresOfAHandMadeTrack) {
    track_score::Scorer scorer;
    const track_score::Box a{0, 0, 10, 10}, shifted{1, 0, 11, 10}, far{50, 50, 60, 60};
    scorer.addFrame({{0, true, a}}, {{7, a}});
    scorer.addFrame({{0, true, a}}, {{7, shifted}});
    scorer.addFrame({{0, true, a}}, {{7, far}});           // missed, and a false object
    scorer.addFrame({{0, true, a}}, {{9, a}});             // resumed under another id
    const auto t = scorer.totals();
    EXPECT_EQ(t.truths, 4);
    EXPECT_EQ(t.misses, 1);
    EXPECT_EQ(t.falsePositives, 1);
    EXPECT_EQ(t.switches, 1);
    EXPECT_EQ(t.fragments, 1);
    EXPECT_DOUBLE_EQ(t.mota(), 0.25);
    EXPECT_EQ(t.mostlyTracked, 0);  // 3 of 4 frames
    EXPECT_DOUBLE_EQ(scorer.movers()[0].dominantShare(), 0.5);  // one pass, ids 7 (2 frames) and 9
}
