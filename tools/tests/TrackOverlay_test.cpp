// The viewer's overlay: boxes and paths land where they should and never outside the picture.
#include <gtest/gtest.h>

#include <vector>

#include "TrackOverlay.h"

namespace {

struct Picture {
    // A guard band after the pixels catches writes past the end.
    static constexpr size_t kGuard = 64;
    unsigned width, height;
    std::vector<unsigned char> bytes;
    kt_image image = {};
    Picture(unsigned w, unsigned h) : width(w), height(h), bytes(w * h * 3 + kGuard, 7) {
        image.data = bytes.data();
        image.width = w;
        image.height = h;
        image.channels = 3;
        image.size = w * h * 3;
    }
    bool boxAt(unsigned x, unsigned y) const {
        const unsigned char* p = &bytes[(y * width + x) * 3];
        return p[0] == TrackOverlay::kBoxBgr[0] && p[1] == TrackOverlay::kBoxBgr[1] && p[2] == TrackOverlay::kBoxBgr[2];
    }
    long painted() const {
        long n = 0;
        for (size_t i = 0; i < width * height * 3; ++i) n += bytes[i] != 7;
        return n;
    }
    bool guardIntact() const {
        for (size_t i = width * height * 3; i < bytes.size(); ++i)
            if (bytes[i] != 7) return false;
        return true;
    }
};

ObjectMap objectsWith(const std::vector<ktml::BoundingBox<int>>& boxes, int second) {
    ObjectMap map;
    uint32_t id = 1;
    for (const auto& b : boxes) {
        Object o;
        o.setId(id);
        o.insert(b, {}, kttl::TimeStamp(1700000000 + second, 0));
        map[kttl::Integer(static_cast<int32_t>(id++))] = o;
    }
    return map;
}

}  // namespace

TEST(TrackOverlay, BoxesAreClippedToThePicture) {
    struct Case {
        ktml::BoundingBox<int> box;
        long painted;  // colour bytes changed (3 per pixel); -1: only "some and inside"
        bool corner;   // the top-left corner pixel (1,1) is drawn
    };
    const Case cases[] = {
        {{1, 1, 4, 3}, 10 * 3, true},              // 4x3 outline: 10 pixels
        {{-5, -5, 3, 3}, 0, false},                // wholly outside, up-left
        {{40, 2, 5, 5}, 0, false},                 // wholly outside, right
        {{30, 20, 100, 100}, -1, false},           // runs off the bottom-right
        {{-2000000000, -5, 2000000100, 10}, -1, false},  // huge, partly inside
        {{2147483000, 2147483000, 600, 600}, 0, false},  // near the integer limit
        {{1, 1, 0, 5}, 0, false},                  // empty
    };
    for (const Case& c : cases) {
        Picture p(40, 30);
        TrackOverlay overlay;
        const ObjectMap objects = objectsWith({c.box}, 0);
        overlay.update(objects);
        ASSERT_TRUE(overlay.draw(objects, p.image));
        EXPECT_TRUE(p.guardIntact()) << c.box.x << "," << c.box.y;
        if (c.painted >= 0)
            EXPECT_EQ(p.painted(), c.painted) << c.box.x << "," << c.box.y;
        else
            EXPECT_GT(p.painted(), 0) << c.box.x << "," << c.box.y;
        EXPECT_EQ(p.boxAt(1, 1), c.corner);
    }
}

TEST(TrackOverlay, PathsFollowObjectsAndForgetTheGone) {
    TrackOverlay overlay;
    overlay.update(objectsWith({{0, 0, 4, 4}, {20, 20, 4, 4}}, 0));
    overlay.update(objectsWith({{2, 0, 4, 4}, {20, 20, 4, 4}}, 1));  // object 2 did not move
    EXPECT_EQ(overlay.pathLength(1), 2u);
    EXPECT_EQ(overlay.pathLength(2), 1u);
    for (int s = 2; s < 100; ++s) overlay.update(objectsWith({{s, 0, 4, 4}}, s));
    EXPECT_EQ(overlay.pathLength(1), TrackOverlay::kPathPoints);
    EXPECT_EQ(overlay.pathLength(2), 0u) << "object 2 left";

    // Drawn: the path runs along the centres, from x=2+2 to the newest centre.
    Picture p(120, 20);
    const ObjectMap last = objectsWith({{99, 0, 4, 4}}, 99);
    ASSERT_TRUE(overlay.draw(last, p.image));
    const unsigned char* mid = &p.bytes[(2 * 120 + 80) * 3];
    EXPECT_EQ(mid[1], TrackOverlay::kPathBgr[1]);
    EXPECT_EQ(mid[2], TrackOverlay::kPathBgr[2]);
}

TEST(TrackOverlay, GrayBecomesColourAndOtherShapesAreRefused) {
    unsigned char gray[6] = {0, 10, 20, 30, 40, 50};
    kt_image in = {gray, 3, 2, 1, 6};
    kt_image out = {};
    ASSERT_TRUE(toColour(in, out));
    ASSERT_EQ(out.channels, 3u);
    for (int i = 0; i < 6; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out.data[i * 3 + c], gray[i]);
    kt_image two = {gray, 3, 1, 2, 6};
    EXPECT_FALSE(toColour(two, out));
    EXPECT_EQ(out.data[3], 10) << "a refused input leaves the output as it was";
    kt_free_image(&out);
}
