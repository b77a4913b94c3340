// ASCII PGM/PPM files: exact text written, round trips through real files, and hostile headers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "image_test_util.h"
#include "kt_pnm.h"

using kttest::Image;

struct Pnm : testing::Test {
    void SetUp() override { char t[] = "/tmp/kt_pnm_XXXXXX"; ASSERT_NE(nullptr, mkdtemp(t)); dir_ = t; }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string write_text(const std::string& name, const std::string& s) const {
        return std::ofstream(path(name), std::ios::binary) << s, path(name);
    }
    std::string read_text(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary); return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string dir_;
};

TEST_F(Pnm, WritesTheExactAsciiLayouts) {
    Image gray(2, 2, 1), three(1, 2, 3), four(2, 1, 4), two(2, 2, 2), empty;
    const uint8_t g[] = {0, 9, 128, 255}, t[] = {1, 2, 3, 40, 50, 60}, f[] = {10, 20, 30, 99, 0, 0, 255, 9};
    std::memcpy(gray.img.data, g, 4), std::memcpy(three.img.data, t, 6), std::memcpy(four.img.data, f, 8);
    auto write = [&](Image& im, const char* name) { return kt_write_image(im.get(), path(name).c_str()); };
    ASSERT_EQ(3, write(gray, "g") + write(three, "c") + write(four, "f"));
    EXPECT_EQ("P2\n2 2\n255\n0\n9\n128\n255\n", read_text("g.pgm"));
    EXPECT_EQ("P3\n1 2\n255\n1 2 3\n40 50 60\n", read_text("c.ppm"));
    EXPECT_EQ("P3\n2 1\n255\n30 20 10\n255 0 0\n", read_text("f.ppm"));  // red first, no 4th byte
    EXPECT_EQ(0, write(two, "two") | write(empty, "e") | write(gray, "no/such/dir/x"));
    // A base path that, with its extension, would not fit the path buffer is refused, not cut.
    const std::string just_over = path(std::string(KT_PNM_PATH_MAX - dir_.size() - 5, 'b'));
    ASSERT_EQ(size_t(KT_PNM_PATH_MAX) - 4, just_over.size());  // + ".pgm" + terminator = max + 1
    EXPECT_EQ(0, kt_write_image(gray.get(), just_over.c_str()));
}

TEST_F(Pnm, RoundTripsGrayAndColourThroughRealFiles) {
    for (uint32_t w : {1u, 3u, 33u}) {
        const uint32_t h = w / 2 + 1; Image gray(w, h, 1), color(w, h, 4), rgb(w, h, 3), back;
        kttest::fill_random(gray.get(), w), kttest::fill_random(color.get(), w + 100);
        kttest::fill_random(rgb.get(), w + 200);
        const std::string b = path("rt" + std::to_string(w));
        auto round_trip = [&](Image& im, const char* ext) {
            return kt_write_image(im.get(), b.c_str()) == 1 && kt_read_image(back.get(), (b + ext).c_str()) == 1;
        };
        ASSERT_TRUE(round_trip(gray, ".pgm"));
        EXPECT_EQ(-1, kttest::first_difference(gray.get(), back.get()));
        // Colour comes back as blue, green, red and a zero fourth byte, from four or three channels.
        ASSERT_TRUE(round_trip(color, ".ppm"));
        for (uint32_t i = 0; i < w * h; ++i) color.img.data[4 * i + 3] = 0;
        EXPECT_EQ(-1, kttest::first_difference(color.get(), back.get()));
        ASSERT_TRUE(round_trip(rgb, ".ppm"));
        EXPECT_TRUE(back.at(w - 1, h - 1, 2) == rgb.at(w - 1, h - 1, 0) &&
                    back.at(0, 0, 0) == rgb.at(0, 0, 2));
    }
}

TEST_F(Pnm, RefusesHostileHeadersAndShortDataWithoutTouchingTheImage) {
    const char* cases[][2] = {
        // overflow: 2^32 pixels; overflow4: x 4 channels overflows; toolarge: far more than the file
        // holds; short: one value missing.
        {"empty", ""}, {"notpnm", "hello world"}, {"type5", "P5\n1 1\n255\n0\n"}, {"twoitems", "P2\n4\n"},
        {"maxval", "P2\n1 1\n65535\n7\n"}, {"zero", "P2\n0 5\n255\n"},
        {"overflow", "P2\n65536 65536\n255\n1\n"}, {"overflow4", "P3\n40000 40000\n255\n1 2 3\n"},
        {"hugewidth", "P2\n99999999999999999999 1\n255\n1\n"},
        {"toolarge", "P2\n1000 1000\n255\n1\n2\n3\n"}, {"short", "P2\n2 2\n255\n1\n2\n3\n"},
        {"shortppm", "P3\n2 1\n255\n1 2 3\n4 5\n"}, {"range", "P2\n2 1\n255\n1\n256\n"},
        {"negative", "P2\n2 1\n255\n1\n-5\n"}, {"garbage", "P2\n2 1\n255\n1\nxy\n"},
        {"longnum", "P2\n2 1\n255\n1\n000000000000000000000000000000099999999999999\n"}};
    for (const auto& c : cases) {
        Image im(3, 3, 1); im.at(1, 1) = 77;
        EXPECT_EQ(0, kt_read_image(im.get(), write_text(c[0], c[1]).c_str())) << c[0];
        EXPECT_TRUE(im.img.width == 3 && im.at(1, 1) == 77) << c[0];
    }
    Image im;
    EXPECT_EQ(0, kt_read_image(im.get(), path("missing").c_str()) | kt_read_image(im.get(), dir_.c_str()));
    // Leading zeros and extra blanks are still numbers; trailing data is ignored.
    ASSERT_EQ(1, kt_read_image(im.get(), write_text("loose", "P2 2  1\t255 007\n\n 255 extra").c_str()));
    EXPECT_TRUE(im.at(0, 0) == 7 && im.at(1, 0) == 255);
}
