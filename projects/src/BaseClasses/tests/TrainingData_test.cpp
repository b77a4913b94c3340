// Training data: its binary form round-trips member by member, refuses short input, has no XML form.
#include <gtest/gtest.h>

#include <vector>

#include "TrainingData.h"
#include "kttl_Exception.h"
#include "kttl_Integer.h"

TEST(TrainingData, BinaryFormRoundTripsAndRefusesShortInput) {
    TrainingData d;
    d.className = "Vehicle";
    d.features.write(kttl::Integer(7));
    d.features.write(kttl::Integer(8));
    const unsigned char pixels[] = {1, 2, 3};
    d.image.assign(pixels, sizeof pixels);
    d.timeStamp = kttl::TimeStamp(1700000000, 250);
    d.type = "SVM";
    d.source = "synthetic:seed=3 320x240 day";
    std::vector<unsigned char> bin(d.getBinLength());
    ASSERT_EQ(d.toBin(bin.data()), bin.size());

    TrainingData back;
    ASSERT_EQ(back.fromBin(bin.data(), static_cast<unsigned>(bin.size())), bin.size());
    EXPECT_EQ(back.className, d.className);
    EXPECT_EQ(back.image, d.image);
    EXPECT_EQ(back.timeStamp, d.timeStamp);
    EXPECT_EQ(back.type, d.type);
    EXPECT_EQ(back.source, d.source);
    kttl::Integer a, b;
    back.features.read(a);
    back.features.read(b);
    EXPECT_EQ(static_cast<int32_t>(a) * 10 + static_cast<int32_t>(b), 78);

    for (unsigned n : {0u, 5u, static_cast<unsigned>(bin.size()) - 1}) {
        TrainingData kept = d;
        EXPECT_THROW(kept.fromBin(bin.data(), n), kttl::Exception) << n;
        EXPECT_EQ(kept.source, d.source) << n;
    }
    EXPECT_THROW(d.toXML("t"), kttl::Exception);
    EXPECT_THROW(back.fromXML("<t/>"), kttl::Exception);
}
