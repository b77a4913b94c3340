#include "kttl_Countdown.h"

#include <gtest/gtest.h>

TEST(Countdown, ExpiresWhenElapsedReachesDurationAcrossTheTickWrap) {
    struct Case { uint32_t duration, start, now; bool expired; uint32_t remaining; };
    const Case cases[] = {
        {1000, 5000, 5999, false, 1},
        {1000, 5000, 6000, true, 0},
        {0, 5000, 5000, true, 0},
        {1000, 0xFFFFFF00u, 0xFFFFFFFFu, false, 745},  // before the wrap
        {1000, 0xFFFFFF00u, 0x000002E7u, false, 1},    // across the wrap, one ms short
        {1000, 0xFFFFFF00u, 0x000002E8u, true, 0},     // across the wrap, exactly due
        {kttl::Countdown::kInfinite, 0, 0xFFFFFFFEu, false, kttl::Countdown::kInfinite},
        {kttl::Countdown::kInfinite, 10, 9, false, kttl::Countdown::kInfinite},
        {0xFFFFFFFEu, 10, 7, false, 1},  // longest finite duration: one tick short
        {0xFFFFFFFEu, 10, 8, true, 0},
    };
    for (const Case& c : cases) {
        const kttl::Countdown cd(c.duration, c.start);
        EXPECT_EQ(cd.isExpiredAt(c.now), c.expired) << c.duration << " " << c.start << " " << c.now;
        EXPECT_EQ(cd.remainingAt(c.now), c.remaining) << c.duration << " " << c.start << " " << c.now;
    }
    // The tick counter itself.
    kttl::Countdown cd(60000);
    EXPECT_FALSE(cd.isExpired());
    EXPECT_LE(cd.elapsed(), 1000u);
    cd.restart(0);
    EXPECT_TRUE(cd.isExpired());
}
