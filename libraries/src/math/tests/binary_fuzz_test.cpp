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

#include "../../misc/tests/TestBytes.h"


namespace {

// Decodes x into a fresh value; returns whether it was accepted. Never lets anything but the
// library exception escape.
template <class T>
bool tryDecode(const std::vector<unsigned char>& x) {
    T v;
    try {
        const unsigned used = readBin(v, x);
        // Whatever was accepted encodes again without trouble.
        EXPECT_TRUE(used <= x.size() && binOf(v).size() <= size_t(used) + 65536u * 4);
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
        if (x.size() >= 4 && pick(0, 1)) x[0] = 4, x[1] = x[3] = 0, x[2] = static_cast<unsigned char>(pick(0, 6));
        accepted += decoders[round % decoders.size()](x);
    }

    // Valid encodings with a few bytes changed or cut.
    ktml::Polygon2D<float> poly;
    for (int i = 0; i < 6; ++i) poly.addVertex(pick(0, 640) / 3.0f, pick(0, 480) / 7.0f);
    ktml::ColorHistogram hist(8, 4, 2);
    for (int i = 0; i < 20; ++i) hist.addColor(pick(0, 255), pick(0, 255), pick(0, 255), pick(1, 50));
    const std::vector<unsigned char> pb = binOf(poly), hb = binOf(hist);
    for (int round = 0; round < 2000; ++round) {
        std::vector<unsigned char> x = round % 2 ? pb : hb;
        for (int k = pick(1, 3); k > 0; --k) x[pick(0, int(x.size()) - 1)] = static_cast<unsigned char>(rng());
        if (pick(0, 2) == 0) x.resize(pick(0, int(x.size())));
        accepted += round % 2 ? tryDecode<ktml::Polygon2D<float>>(x) : tryDecode<ktml::ColorHistogram>(x);
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
        ASSERT_TRUE(readBin(pback, binOf(p)) == binOf(p).size() && pback == p) << round;

        const ktml::BoundingBox<double> box(pick(-9, 9) / 3.0, pick(-9, 9) / 7.0, pick(0, 99) / 9.0,
                                            pick(0, 99) / 11.0);
        ktml::BoundingBox<double> boxBack;
        ASSERT_TRUE(readBin(boxBack, binOf(box)) == 36u && boxBack == box) << round;

        ktml::ColorHistogram h(1u << pick(0, 4), 1u << pick(0, 4), 1u << pick(0, 4)), hback;
        for (int i = pick(0, 30); i > 0; --i) h.addColor(pick(0, 255), pick(0, 255), pick(0, 255), pick(1, 1000));
        ASSERT_TRUE(readBin(hback, binOf(h)) == binOf(h).size() && hback == h) << round;
    }
}
