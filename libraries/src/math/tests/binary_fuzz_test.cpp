// Bounded fuzz of the geometry and histogram binary readers: random and mutated bytes decode or are
// refused with the library exception, and decoding an encoding gives the value back.
#include "ktml_ColorHistogram.h"
#include "ktml_Histogram.h"
#include "ktml_Polygon2d.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "math_test_util.h"

using mathtest::encode;

namespace {

// Decodes x into a fresh value; returns whether it was accepted. Never lets anything but the
// library exception escape.
template <class T>
bool tryDecode(const std::vector<unsigned char>& x) {
    T v;
    try {
        unsigned used = v.fromBin(x.data(), static_cast<unsigned>(x.size()));
        EXPECT_LE(used, x.size());
        // Whatever was accepted encodes again without trouble.
        std::vector<unsigned char> again = encode(v);
        EXPECT_LE(again.size(), size_t(used) + 65536u * 4);
        return true;
    } catch (const kttl::Exception&) {
        return false;
    }
}

}  // namespace

TEST(BinaryFuzz, RandomAndMutatedBytes) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<std::function<bool(const std::vector<unsigned char>&)>> decoders = {
        tryDecode<ktml::Point2D<int>>,        tryDecode<ktml::Point2D<float>>,
        tryDecode<ktml::Point2D<double>>,     tryDecode<ktml::BoundingBox<int>>,
        tryDecode<ktml::Polygon2D<int>>,      tryDecode<ktml::Polygon2D<float>>,
        tryDecode<ktml::Polygon2D<unsigned>>, tryDecode<ktml::Histogram>,
        tryDecode<ktml::ColorHistogram>,
    };
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<unsigned char> x(pick(0, 64));
        for (auto& c : x) c = static_cast<unsigned char>(pick(0, 255));
        // Plausible headers make the readers go deeper than pure noise would.
        if (x.size() >= 4 && pick(0, 1)) {
            x[0] = 4;
            x[1] = x[3] = 0;
            x[2] = static_cast<unsigned char>(pick(0, 6));
        }
        accepted += decoders[round % decoders.size()](x);
    }

    // Valid encodings with a few bytes changed or cut.
    ktml::Polygon2D<float> poly;
    for (int i = 0; i < 6; ++i) poly.addVertex(pick(0, 640) / 3.0f, pick(0, 480) / 7.0f);
    ktml::ColorHistogram hist(8, 4, 2);
    for (int i = 0; i < 20; ++i) hist.addColor(pick(0, 255), pick(0, 255), pick(0, 255), pick(1, 50));
    const std::vector<unsigned char> pb = encode(poly), hb = encode(hist);
    for (int round = 0; round < 1000; ++round) {
        for (const auto* base : {&pb, &hb}) {
            std::vector<unsigned char> x = *base;
            for (int k = pick(1, 3); k > 0; --k)
                x[pick(0, int(x.size()) - 1)] = static_cast<unsigned char>(pick(0, 255));
            if (pick(0, 2) == 0)
                x.resize(pick(0, int(x.size())));
            if (base == &pb)
                accepted += tryDecode<ktml::Polygon2D<float>>(x);
            else
                accepted += tryDecode<ktml::ColorHistogram>(x);
        }
    }
    // The inputs reach the readers' accepting paths, not only their first refusal.
    EXPECT_GT(accepted, 300);
}

TEST(BinaryFuzz, DecodeOfEncodeIsIdentity) {
    std::mt19937 rng(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 300; ++round) {
        ktml::Polygon2D<int> p;
        for (int i = pick(0, 12); i > 0; --i) p.addVertex(pick(-100000, 100000), pick(-100000, 100000));
        ktml::Polygon2D<int> pback{{1, 1}};
        std::vector<unsigned char> b = encode(p);
        ASSERT_EQ(pback.fromBin(b.data(), b.size()), b.size());
        ASSERT_EQ(pback, p);

        ktml::BoundingBox<double> box(pick(-9, 9) / 3.0, pick(-9, 9) / 7.0, pick(0, 99) / 9.0,
                                      pick(0, 99) / 11.0);
        ktml::BoundingBox<double> boxBack;
        b = encode(box);
        ASSERT_EQ(boxBack.fromBin(b.data(), b.size()), b.size());
        ASSERT_EQ(boxBack, box);

        ktml::ColorHistogram h(1u << pick(0, 4), 1u << pick(0, 4), 1u << pick(0, 4));
        for (int i = pick(0, 30); i > 0; --i)
            h.addColor(pick(0, 255), pick(0, 255), pick(0, 255), pick(1, 1000));
        ktml::ColorHistogram hback;
        b = encode(h);
        ASSERT_EQ(hback.fromBin(b.data(), b.size()), b.size());
        ASSERT_TRUE(hback == h);
    }
}
