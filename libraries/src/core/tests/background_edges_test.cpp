// Learnt edge orientations, the ghost test and its helpers (uniform-region test, mean and variance),
// and the colour-to-gray helper.
#include "background_reference.h"
#include "image_test_util.h"
#include "kt_tick.h"

using bgtest::Model;
using kttest::Image;

// Gray image with a vertical step between columns step - 1 and step: left `left`, right `right`.
static void step_image(Image& gray, uint32_t step, unsigned char left, unsigned char right) {
    for (uint32_t y = 0; y < gray.img.height; ++y)
        for (uint32_t x = 0; x < gray.img.width; ++x) gray.at(x, y) = x < step ? left : right;
}

TEST(BackgroundEdges, AnglesAndMatching) {
    const int32_t angles[][3] = {{800, 0, 1},     {0, 800, 91}, {-800, 0, 181},
                                 {0, -800, 271},  {5, 5, 46},   {100000, -1, 360}};  // gx, gy, degrees
    for (const auto& a : angles) EXPECT_EQ(a[2], kt_bg_edge_angle(a[0], a[1])) << a[0] << "," << a[1];
    const int32_t pairs[][3] = {{5, 355, 1}, {355, 5, 1}, {1, 30, 1},     {1, 31, 0},
                                {0, 331, 1}, {0, 330, 0}, {200, 200, 1}, {90, 270, 0}};
    for (const auto& p : pairs) EXPECT_EQ(p[2], kt_bg_angles_match(p[0], p[1])) << p[0] << "," << p[1];
}

TEST(BackgroundEdges, LearningBlendingAndForgetting) {
    Model m(10, 8, KT_BG_MODE_GRAY);
    m.bg.track_edges = 1;
    Image gray(10, 8, 1), mask(10, 8, 1);
    mask.fill(255);
    step_image(gray, 5, 0, 200);
    const uint32_t before = kt_tickcount(), at = 3 * 10 + 4;  // (4, 3): gx = 800, gy = 0
    ASSERT_EQ(1, kt_background_update(&m.bg, gray.get(), nullptr, mask.get()));
    EXPECT_TRUE(m.bg.edge_avg[at].value == 1.0f && m.bg.edge_avg[at].count == 0);
    EXPECT_LT(m.bg.edge_time[at] - before, 1000u);
    EXPECT_EQ(0.0f, m.bg.edge_avg[3 * 10 + 1].value);  // flat: no edge
    EXPECT_EQ(0.0f, m.bg.edge_avg[4].value);           // border row: gradient 0
    ASSERT_EQ(1, kt_background_update(&m.bg, gray.get(), nullptr, mask.get()));
    EXPECT_EQ(1u, m.bg.edge_avg[at].count);
    step_image(gray, 5, 200, 0);  // the reversed step (181 degrees) is blended in at the learning rate
    ASSERT_EQ(1, kt_background_update(&m.bg, gray.get(), nullptr, mask.get()));
    EXPECT_FLOAT_EQ(181.0f * 0.1f + 1.0f * 0.9f, m.bg.edge_avg[at].value);

    // A flat frame forgets only averages whose last edge is more than 2 s old; masked pixels keep.
    gray.fill(50);
    m.bg.edge_time[3 * 10 + 5] -= 5000;
    m.bg.edge_time[4 * 10 + 5] -= 5000;
    mask.at(5, 4) = 0;
    ASSERT_EQ(1, kt_background_update_edges(&m.bg, gray.get(), mask.get()));
    EXPECT_EQ(0.0f, m.bg.edge_avg[3 * 10 + 5].value);
    EXPECT_TRUE(m.bg.edge_avg[at].value != 0.0f && m.bg.edge_avg[4 * 10 + 5].value != 0.0f);
    Image small(10, 7, 1);
    EXPECT_EQ(0, kt_background_update_edges(&m.bg, small.get(), mask.get()) |
                     kt_background_update_edges(&m.bg, gray.get(), small.get()) |
                     kt_background_update_edges(nullptr, gray.get(), mask.get()));
}

TEST(BackgroundEdges, CheckRegion) {
    Model m(10, 8, KT_BG_MODE_GRAY);
    m.bg.edge_avg[3 * 10 + 4].value = 1.9f;  // truncates to 1
    // {angle, x, y, r, found}: window [x - r, x + r) by [y - r, y + r), clipped to the model.
    const int32_t cases[][5] = {
        {10, 6, 3, 3, 1}, {100, 6, 3, 3, 0},  // angle near and far off
        {10, 6, 3, 2, 1}, {10, 7, 3, 2, 0},   // columns [4, 8) reach column 4, [5, 9) do not
        {10, 4, 4, 1, 1}, {10, 4, 5, 1, 0},   // rows [3, 5) reach row 3, [4, 6) do not
        {10, 0, 0, 100, 1}, {10, 4, 3, 0, 0}, // clipped; empty
        {350, 4, 3, 1, 1},                    // 350 and 1 match across 360
    };
    for (const auto& c : cases)
        EXPECT_EQ(c[4], kt_background_check_region(&m.bg, c[0], c[1], c[2], c[3]))
            << c[0] << " at " << c[1] << "," << c[2] << " r " << c[3];
    EXPECT_EQ(0, kt_background_check_region(nullptr, 10, 4, 3, 1));
}

TEST(BackgroundEdges, GhostTest) {
    const uint32_t w = 12, h = 10;
    Model learnt(w, h, KT_BG_MODE_BGR), fresh(w, h, KT_BG_MODE_BGR);
    learnt.bg.track_edges = 1;
    Image gray(w, h, 1), reversed(w, h, 1), all(w, h, 1), half(w, h, 1), colour(w, h, 4), grey(w, h, 4);
    all.fill(255);
    std::memset(half.img.data, 255, 4 * w);  // rows 0..3
    step_image(gray, 6, 0, 200);
    step_image(reversed, 6, 200, 0);
    kttest::fill_random(colour.get(), 3);  // busy colours: not a uniform region
    grey.fill(120);
    ASSERT_EQ(1, kt_background_update(&learnt.bg, gray.get(), colour.get(), all.get()));

    // The box's crop interior (rows 1..6) holds 12 edge pixels.
    const kt_bbox box{2, 1, 8, 8}, too_wide{0, 0, 13, 4}, outside{6, 6, 8, 8}, narrow{2, 1, 6, 8};
    const kt_background *L = &learnt.bg, *F = &fresh.bg;
    const kt_image *C = colour.get(), *G = gray.get(), *A = all.get();
    // expected -1: refused, ratio untouched.
    const struct { const char* name; const kt_background* model; const kt_image *colour, *gray, *foreground;
                   const kt_bbox* box; int32_t radius; float expected; } cases[] = {
        {"learnt edges match at their pixel", L, C, G, A, &box, 0, 1},
        {"an untrained model matches none", F, C, G, A, &box, 0, 0},
        {"radius 3 searches one pixel around", L, C, G, A, &box, 3, 1},
        {"6 edges under the foreground: too few", F, C, G, half.get(), &box, 3, 1},
        {"the reversed step does not match", L, C, reversed.get(), A, &box, 1, 0},
        {"uniform and bright: background at once", F, grey.get(), G, A, &box, 0, 1},
        {"2r = 8 reaches the width 8", L, C, G, A, &box, 4, -1},
        {"box wider than the image", L, C, G, A, &too_wide, 0, -1},
        {"box outside the image", L, C, G, A, &outside, 0, -1},
        {"radius 2 needs the foreground", L, C, G, nullptr, &narrow, 2, -1},
        {"gray as colour", L, G, G, A, &box, 0, -1},
        {"colour as gray", L, C, C, A, &box, 0, -1},
        {"null box", L, C, G, A, nullptr, 0, -1},
    };
    for (const auto& c : cases) {
        float ratio = -1.0f;
        const int result =
            kt_background_is_background(c.model, c.colour, c.gray, c.foreground, c.box, c.radius, 1, &ratio);
        EXPECT_TRUE((c.expected >= 0 ? 1 : 0) == result && c.expected == ratio) << c.name << " " << ratio;
    }
    EXPECT_EQ(0, kt_background_is_background(L, C, G, A, &box, 0, 1, nullptr));
}

TEST(BackgroundEdges, UniformRegionMeanVarianceAndGray) {
    // Bytes 0, 1, 2 of the pixels alternate between low and high.
    const struct { const char* name; unsigned char low[3], high[3]; int32_t mode; int uniform; } cases[] = {
        {"flat bright", {100, 100, 100}, {100, 100, 100}, 1, 1},
        {"flat dark", {40, 50, 20}, {40, 50, 20}, 1, 0},
        {"one mean above 50 is bright", {40, 51, 20}, {40, 51, 20}, 1, 1},
        {"variance 576 is below 625", {76, 76, 76}, {124, 124, 124}, 1, 1},
        {"variance 625 is not", {75, 75, 75}, {125, 125, 125}, 1, 0},
        {"lightness 31 is bright in mode 2", {31, 127, 127}, {31, 127, 127}, 2, 1},
        {"lightness 30 is not", {30, 200, 200}, {30, 200, 200}, 2, 0},
        {"chroma variance 121 fails mode 2", {100, 116, 127}, {100, 138, 127}, 2, 0},
        {"the same passes mode 1", {100, 116, 127}, {100, 138, 127}, 1, 1},
        {"byte 0 keeps limit 625 in mode 2", {76, 127, 127}, {124, 127, 127}, 2, 1},
    };
    const kt_bbox whole{0, 0, 4, 4}, inside{1, 1, 3, 3}, outside{2, 2, 3, 3}, empty{1, 1, 0, 2};
    Image colour(4, 4, 4), gray(4, 4, 1);
    for (const auto& c : cases) {
        for (uint32_t i = 0; i < 16; ++i)
            for (int k = 0; k < 3; ++k) colour.img.data[4 * i + k] = i % 2 ? c.high[k] : c.low[k];
        EXPECT_EQ(c.uniform, kt_background_check_varmean(colour.get(), &whole, c.mode)) << c.name;
    }
    colour.fill(100);
    EXPECT_EQ(1, kt_background_check_varmean(colour.get(), &inside, 1));
    for (const kt_bbox* b : {&outside, &empty, static_cast<const kt_bbox*>(nullptr)})
        EXPECT_EQ(0, kt_background_check_varmean(colour.get(), b, 1));
    EXPECT_EQ(0, kt_background_check_varmean(gray.get(), &inside, 1));

    const unsigned char bytes[] = {1, 2, 3, 4};
    float variance = -1, mean = -1;
    ASSERT_EQ(1, kt_background_varmean(bytes, 4, &variance, &mean));
    EXPECT_TRUE(mean == 2.5f && variance == 1.25f);
    EXPECT_EQ(0, kt_background_varmean(bytes, 0, &variance, &mean) |
                     kt_background_varmean(nullptr, 4, &variance, &mean) |
                     kt_background_varmean(bytes, 4, nullptr, &mean));

    // Colour to gray: (30 red + 59 green + 11 blue) / 100.
    Image three(3, 1, 4), gray3(3, 1, 1), wrong(2, 1, 1);
    const unsigned char pixels[12] = {0, 0, 255, 0, 255, 255, 255, 0, 255, 0, 0, 0};  // b, g, r, -
    std::memcpy(three.img.data, pixels, 12);
    ASSERT_EQ(1, kt_background_rgb_to_gray(three.get(), gray3.get()));
    EXPECT_TRUE(gray3.at(0, 0) == 76 && gray3.at(1, 0) == 255 && gray3.at(2, 0) == 28);
    EXPECT_EQ(0, kt_background_rgb_to_gray(three.get(), wrong.get()) |
                     kt_background_rgb_to_gray(gray3.get(), gray3.get()) |
                     kt_background_rgb_to_gray(nullptr, gray3.get()));
}
