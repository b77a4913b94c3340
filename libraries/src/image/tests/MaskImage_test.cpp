// MaskImage: polygons in pixels and in fractions, degenerate and hostile outlines, and masking.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "../../core/tests/image_test_util.h"
#include "ktil_MaskImage.h"

using Poly = ktml::Polygon2D<float>;

namespace {

// The mask as rows of '.' (255) and '#' (0).
std::string picture(const ktil::MaskImage& mask) {
    std::string out;
    const kt_image& im = mask.image();
    for (uint32_t y = 0; y < im.height; ++y) {
        for (uint32_t x = 0; x < im.width; ++x) {
            const unsigned char v = im.data[y * im.width + x];
            out += v == 0 ? '#' : v == 255 ? '.' : '?';
        }
        out += '\n';
    }
    return out;
}

}  // namespace

TEST(MaskImage, DrawsExclusionPolygons) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const char* const none = "......\n......\n......\n......\n";
    const struct { const char* what; std::vector<Poly> polygons; const char* expected; } cases[] = {
        {"pixel square", {Poly{{1, 1}, {4, 1}, {4, 3}, {1, 3}}},
         "......\n.###..\n.###..\n......\n"},
        {"fraction half", {Poly{{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}}},
         "###...\n###...\n###...\n###...\n"},
        {"triangle", {Poly{{0, 0}, {6, 0}, {0, 4}}},
         "#####.\n####..\n##....\n#.....\n"},
        {"two polygons", {Poly{{0, 0}, {1, 0}, {1, 1}, {0, 1.5f}}, Poly{{5, 3}, {6, 3}, {6, 4}, {5, 4}}},
         "#.....\n......\n......\n.....#\n"},
        {"far outside covers all", {Poly{{-1e30f, -1e30f}, {1e30f, -1e30f}, {0, 1e30f}}},
         "######\n######\n######\n######\n"},
        {"wholly outside", {Poly{{100, 100}, {200, 100}, {150, 200}}}, none},
        {"two points and empty", {Poly{{0, 0}, {5, 3}}, Poly{}}, none},
        {"NaN vertex", {Poly{{0, 0}, {nan, 0}, {0, 4}}}, none},
        {"infinite vertex", {Poly{{0, 0}, {std::numeric_limits<float>::infinity(), 0}, {0, 4}}}, none},
    };
    ktil::MaskImage mask;
    for (const auto& c : cases)
        EXPECT_TRUE(mask.draw(c.polygons, 6, 4) && picture(mask) == c.expected) << c.what;
    EXPECT_TRUE(mask.draw(std::vector<Poly>{}, 0, 0)) << "an empty mask draws nothing";
}

TEST(MaskImage, MasksOneAndFourChannelImages) {
    ktil::MaskImage mask;
    ASSERT_TRUE(mask.draw(std::vector<Poly>{Poly{{0, 0}, {2, 0}, {2, 1}, {0, 1}}}, 3, 2));
    kttest::Image gray(3, 2, 1), colour(3, 2, 4), out, wrong(2, 2, 1);
    gray.fill(0x5A);
    colour.fill(0xC3);
    const std::vector<unsigned char> masked{0, 0, 0x5A, 0x5A, 0x5A, 0x5A};
    EXPECT_TRUE(mask.apply(gray.img, out.img) && kttest::bytes(&out.img) == masked);
    ASSERT_TRUE(mask.apply(colour.img, colour.img)) << "in place";
    const auto expected = [](uint32_t x, uint32_t y, uint32_t) { return x < 2 && y == 0 ? 0 : 0xC3; };
    EXPECT_EQ(kttest::mismatch(&colour.img, expected), "");
    EXPECT_TRUE(!mask.apply(wrong.img, out.img) && kttest::bytes(&out.img) == masked) << "untouched";
}
