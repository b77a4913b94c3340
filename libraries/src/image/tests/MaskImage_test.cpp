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
        for (uint32_t x = 0; x < im.width; ++x) out += im.data[y * im.width + x] == 0 ? '#' : (im.data[y * im.width + x] == 255 ? '.' : '?');
        out += '\n';
    }
    return out;
}

}  // namespace

TEST(MaskImage, DrawsExclusionPolygons) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        std::vector<Poly> polygons;
        const char* expected;
    } cases[] = {
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
        {"wholly outside", {Poly{{100, 100}, {200, 100}, {150, 200}}}, "......\n......\n......\n......\n"},
        {"two points and empty", {Poly{{0, 0}, {5, 3}}, Poly{}}, "......\n......\n......\n......\n"},
        {"NaN vertex", {Poly{{0, 0}, {nan, 0}, {0, 4}}}, "......\n......\n......\n......\n"},
        {"infinite vertex", {Poly{{0, 0}, {std::numeric_limits<float>::infinity(), 0}, {0, 4}}},
         "......\n......\n......\n......\n"},
    };
    ktil::MaskImage mask;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(mask.draw(c.polygons, 6, 4));
        EXPECT_EQ(picture(mask), c.expected);
    }
    EXPECT_TRUE(mask.draw(std::vector<Poly>{}, 0, 0)) << "an empty mask draws nothing";
}

TEST(MaskImage, MasksOneAndFourChannelImages) {
    ktil::MaskImage mask;
    ASSERT_TRUE(mask.draw(std::vector<Poly>{Poly{{0, 0}, {2, 0}, {2, 1}, {0, 1}}}, 3, 2));
    kttest::Image gray(3, 2, 1), colour(3, 2, 4), out, wrong(2, 2, 1);
    gray.fill(0x5A);
    colour.fill(0xC3);
    ASSERT_TRUE(mask.apply(gray.img, out.img));
    EXPECT_EQ(kttest::bytes(&out.img), (std::vector<unsigned char>{0, 0, 0x5A, 0x5A, 0x5A, 0x5A}));
    ASSERT_TRUE(mask.apply(colour.img, colour.img)) << "in place";
    for (uint32_t i = 0; i < 24; ++i) EXPECT_EQ(colour.img.data[i], i < 8 ? 0 : 0xC3) << i;
    EXPECT_FALSE(mask.apply(wrong.img, out.img));
    EXPECT_EQ(kttest::bytes(&out.img), (std::vector<unsigned char>{0, 0, 0x5A, 0x5A, 0x5A, 0x5A})) << "untouched";
}
