// Object features: the 260-byte layout, the orientation histogram and which boxes are scored.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "ObjectFeatures.h"
#include "frame_harness.h"
#include "kttl_Exception.h"

namespace {

int32_t wordAt(const std::vector<unsigned char>& bin, size_t offset) {
    int32_t v;
    std::memcpy(&v, &bin[offset], 4);
    return v;
}

}  // namespace

TEST(ObjectFeatures, BinaryLayoutPlacesEachIdInItsWord) {
    ObjectFeatures f;
    for (int id = 1; id <= 61; ++id) f.setFeature(id, 1000 + id);
    std::vector<unsigned char> bin(f.getBinLength());
    ASSERT_EQ(f.toBin(bin.data()), 260u);
    struct Case {
        size_t offset;
        int32_t value;
    } cases[] = {{0, 1001}, {28, 1008}, {32, 0}, {36, 1009}, {40, 1010}, {228, 1057},
                 {232, 0},  {236, 61},  {240, 1059}, {248, 1061}, {252, 1058}, {256, 0}};
    for (const Case& c : cases) EXPECT_EQ(wordAt(bin, c.offset), c.value) << "offset " << c.offset;

    ObjectFeatures back;
    EXPECT_EQ(back.fromBin(bin.data(), 260), 260u);
    EXPECT_EQ(back, f);
    EXPECT_THROW(back.fromBin(bin.data(), 259), kttl::Exception);
    EXPECT_THROW(back.toXML("f"), kttl::Exception);

    ObjectFeatures fresh;
    for (int id : {4, 8, 58, 61}) EXPECT_EQ(fresh.getFeature(id), -1);
    EXPECT_EQ(fresh.getFeature(10), 0);
    EXPECT_EQ(fresh.getFeature(0), -1);
    EXPECT_EXIT(fresh.getFeature(62), ::testing::ExitedWithCode(1), "");
}

// Ramps give one exact gradient direction at every interior pixel of a 10x10 patch (64 pixels); the
// 36 border pixels have no gradient and count as weak.
TEST(ObjectFeatures, OrientationHistogramVotes) {
    struct Case {
        const char* name;
        int sx, sy;  // ramp steps per pixel
        std::vector<std::pair<int, int32_t>> expected;
    } cases[] = {
        {"45 degrees", 14, 14, {{10, 36}, {16, 640}, {15, 0}, {17, 0}}},
        {"horizontal gradient", 28, 0, {{10, 36}, {20, 320}, {21, 320}}},
        {"vertical gradient", 0, 28, {{10, 36}, {11, 320}, {12, 320}}},
        {"weak ramp", 4, 4, {{10, 100}, {16, 0}}},
    };
    for (const Case& c : cases) {
        kt_image gray = makeImage(10, 10, 1, 0), mask = makeImage(10, 10, 1, 255);
        for (uint32_t y = 0; y < 10; ++y)
            for (uint32_t x = 0; x < 10; ++x) gray.data[y * 10 + x] = static_cast<unsigned char>(c.sx * x + c.sy * y);
        ObjectFeatures f;
        EXPECT_EQ(f.generateFeatures(gray, mask), 1);
        for (const auto& e : c.expected) EXPECT_EQ(f.getFeature(e.first), e.second) << c.name << " id " << e.first;
        kt_free_image(&gray);
        kt_free_image(&mask);
    }
}

TEST(ObjectFeatures, HistogramMatchesTheArctangentAtEveryGradient) {
    // Random patches reach every gradient up to 1020 per axis, past the vote table's side: each
    // vote must be the arctangent's, computed here pixel by pixel.
    std::mt19937 rng(9);
    for (int trial = 0; trial < 6; ++trial) {
        const uint32_t w = 3 + rng() % 90, h = 3 + rng() % 60;
        kt_image gray = makeImage(w, h, 1, 0), mask = makeImage(w, h, 1, 0);
        const int spread = trial % 2 ? 256 : 90;  // full range, or mostly small gradients
        for (size_t i = 0; i < gray.size; ++i) {
            gray.data[i] = static_cast<unsigned char>(rng() % spread);
            mask.data[i] = rng() % 8 ? 255 : 0;
        }
        int32_t expected[62] = {};
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                if (!mask.data[y * w + x]) continue;
                if (y == 0 || x == 0 || y + 1 == h || x + 1 == w) {
                    ++expected[10];
                    continue;
                }
                auto g = [&](int dx, int dy) { return int(gray.data[(y + dy) * w + x + dx]); };
                const int gx = std::abs((g(1, -1) + 2 * g(1, 0) + g(1, 1)) - (g(-1, -1) + 2 * g(-1, 0) + g(-1, 1)));
                const int gy = std::abs((g(-1, -1) + 2 * g(0, -1) + g(1, -1)) - (g(-1, 1) + 2 * g(0, 1) + g(1, 1)));
                if (gx + gy < ObjectFeatures::kWeakGradient) {
                    ++expected[10];
                    continue;
                }
                const double t = ObjectFeatures::fastAtan(gx, gy) * 57.29578;
                const int b = static_cast<int>(t + 5.0) / 10;
                const double a = t - (10 * b - 5);
                const int r = static_cast<int>(a < 0 ? a - 0.5 : a + 0.5);
                expected[11 + b] += 10 - r;
                expected[12 + b] += r;
            }
        ObjectFeatures f;
        ASSERT_EQ(f.generateFeatures(gray, mask), 1);
        for (int id = 10; id <= 21; ++id) EXPECT_EQ(f.getFeature(id), expected[id]) << "trial " << trial << " id " << id;
        kt_free_image(&gray);
        kt_free_image(&mask);
    }
}

TEST(ObjectFeatures, WhichBoxesAreScored) {
    const uint32_t W = 80, H = 60;
    struct Case {
        const char* name;
        int x, y, w, h;
        bool isStatic;
        uint32_t maskWidth;
        int merged;
        bool scored;
    } cases[] = {
        {"inside", 30, 20, 10, 20, false, W, 0, true},
        {"4x20 grows to 10x26", 30, 20, 4, 20, false, W, 0, true},
        {"1x20 grows to 7x26", 30, 20, 1, 20, false, W, 0, false},
        {"moving at the border", 1, 20, 10, 20, false, W, 0, false},
        {"static at the border", 1, 20, 10, 20, true, W, 0, true},
        {"moving at the right edge", 70, 20, 10, 20, false, W, 0, false},
        {"partly outside, static", -20, -20, 40, 40, true, W, 0, true},
        {"wholly outside", 200, 200, 10, 10, true, W, 0, false},
        {"negative size", 30, 20, -10, 20, true, W, 0, false},
        {"huge box", 2147483000, 5, 2147483000, 5, true, W, 0, false},
        {"mask of another size", 30, 20, 10, 20, false, 40, 0, false},
        {"merged", 30, 20, 10, 20, false, W, 2, false},
    };
    kt_image gray = makeImage(W, H, 1, 0);
    for (uint32_t i = 0; i < gray.size; ++i) gray.data[i] = static_cast<unsigned char>((i * 37) % 251);
    for (const Case& c : cases) {
        kt_image mask = makeImage(c.maskWidth, H, 1, 255);
        Object object;
        ktsl::List<kttl::Integer> ids;
        for (int m = 0; m < c.merged; ++m) ids.push_back(kttl::Integer(m));
        object.insert(ktml::BoundingBox<int>(c.x, c.y, c.w, c.h), ids, kttl::TimeStamp(100, 0));
        ObjectFeatures f;
        EXPECT_EQ(f.setFeatures(gray, mask, object, kttl::ElapsedTime(3000), c.isStatic), c.scored) << c.name;
        if (c.scored) {
            EXPECT_EQ(f.getFeature(9), 100) << c.name;
        }
        kt_free_image(&mask);
    }
    kt_free_image(&gray);
}
