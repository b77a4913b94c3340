// ASCII PGM/PPM files: exact text written, round trips through real files, and hostile headers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "image_test_util.h"
#include "kt_pnm.h"

using kttest::Image;

namespace {

class Pnm : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kt_pnm_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir_ = tmpl;
    }
    void TearDown() override {
        for (const std::string& f : files_) std::remove(f.c_str());
        rmdir(dir_.c_str());
    }
    std::string path(const std::string& name) {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }
    std::string write_text(const std::string& name, const std::string& text) {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    static std::string read_text(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string dir_;
    std::vector<std::string> files_;
};

TEST_F(Pnm, WritesTheExactAsciiLayouts) {
    Image gray(2, 2, 1);
    gray.at(0, 0) = 0;
    gray.at(1, 0) = 9;
    gray.at(0, 1) = 128;
    gray.at(1, 1) = 255;
    const std::string base = path("g") ;
    path("g.pgm");
    ASSERT_EQ(1, kt_write_image(gray.get(), base.c_str()));
    EXPECT_EQ("P2\n2 2\n255\n0\n9\n128\n255\n", read_text(base + ".pgm"));

    Image three(1, 2, 3);
    three.at(0, 0, 0) = 1, three.at(0, 0, 1) = 2, three.at(0, 0, 2) = 3;
    three.at(0, 1, 0) = 40, three.at(0, 1, 1) = 50, three.at(0, 1, 2) = 60;
    path("c.ppm");
    ASSERT_EQ(1, kt_write_image(three.get(), (dir_ + "/c").c_str()));
    EXPECT_EQ("P3\n1 2\n255\n1 2 3\n40 50 60\n", read_text(dir_ + "/c.ppm"));

    // Four channels are blue, green, red: red is written first.
    Image four(2, 1, 4);
    four.at(0, 0, 0) = 10, four.at(0, 0, 1) = 20, four.at(0, 0, 2) = 30, four.at(0, 0, 3) = 99;
    four.at(1, 0, 2) = 255;
    path("f.ppm");
    ASSERT_EQ(1, kt_write_image(four.get(), (dir_ + "/f").c_str()));
    EXPECT_EQ("P3\n2 1\n255\n30 20 10\n255 0 0\n", read_text(dir_ + "/f.ppm"));
}

TEST_F(Pnm, RoundTripsGrayAndColourThroughRealFiles) {
    const uint32_t shapes[][2] = {{1, 1}, {3, 5}, {33, 17}};
    for (const auto& s : shapes) {
        Image gray(s[0], s[1], 1), back;
        kttest::fill_random(gray.get(), s[0]);
        const std::string base = path("rt" + std::to_string(s[0]));
        path("rt" + std::to_string(s[0]) + ".pgm");
        path("rt" + std::to_string(s[0]) + ".ppm");
        ASSERT_EQ(1, kt_write_image(gray.get(), base.c_str()));
        ASSERT_EQ(1, kt_read_image(back.get(), (base + ".pgm").c_str()));
        EXPECT_EQ(-1, kttest::first_difference(gray.get(), back.get()));

        Image color(s[0], s[1], 4);
        kttest::fill_random(color.get(), s[1] + 100);
        ASSERT_EQ(1, kt_write_image(color.get(), base.c_str()));
        ASSERT_EQ(1, kt_read_image(back.get(), (base + ".ppm").c_str()));
        ASSERT_EQ(4u, back.get()->channels);
        for (uint32_t y = 0; y < s[1]; ++y)
            for (uint32_t x = 0; x < s[0]; ++x) {
                for (uint32_t c = 0; c < 3; ++c) ASSERT_EQ(color.at(x, y, c), back.at(x, y, c));
                ASSERT_EQ(0, back.at(x, y, 3));  // the fourth byte is not stored
            }

        // Three channels come back as four, blue-green-red from the red-first file.
        Image rgb(s[0], s[1], 3);
        kttest::fill_random(rgb.get(), 7);
        ASSERT_EQ(1, kt_write_image(rgb.get(), base.c_str()));
        ASSERT_EQ(1, kt_read_image(back.get(), (base + ".ppm").c_str()));
        EXPECT_EQ(rgb.at(0, 0, 0), back.at(0, 0, 2));
    }
}

TEST_F(Pnm, RefusesHostileHeadersAndShortDataWithoutTouchingTheImage) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"notpnm", "hello world"},
        {"type5", "P5\n1 1\n255\n0\n"},
        {"type1", "P1\n1 1\n255\n0\n"},
        {"twoitems", "P2\n4\n"},
        {"maxval", "P2\n1 1\n65535\n7\n"},
        {"zero", "P2\n0 5\n255\n"},
        {"overflow", "P2\n65536 65536\n255\n1\n"},           // 2^32 pixels
        {"overflow4", "P3\n40000 40000\n255\n1 2 3\n"},       // x 4 channels overflows
        {"hugewidth", "P2\n99999999999999999999 1\n255\n1\n"},
        {"toolarge", "P2\n1000 1000\n255\n1\n2\n3\n"},        // far more than the file holds
        {"short", "P2\n2 2\n255\n1\n2\n3\n"},                 // one value missing
        {"shortppm", "P3\n2 1\n255\n1 2 3\n4 5\n"},
        {"range", "P2\n2 1\n255\n1\n256\n"},
        {"negative", "P2\n2 1\n255\n1\n-5\n"},
        {"garbage", "P2\n2 1\n255\n1\nxy\n"},
        {"longnum", "P2\n2 1\n255\n1\n000000000000000000000000000000099999999999999\n"},
    };
    for (const auto& c : cases) {
        const std::string p = write_text(c.name, c.text);
        Image im(3, 3, 1);
        im.at(1, 1) = 77;
        EXPECT_EQ(0, kt_read_image(im.get(), p.c_str())) << c.name;
        EXPECT_EQ(3u, im.get()->width) << c.name;
        EXPECT_EQ(77, im.at(1, 1)) << c.name;
    }
    Image im;
    EXPECT_EQ(0, kt_read_image(im.get(), (dir_ + "/missing.pgm").c_str()));
    EXPECT_EQ(0, kt_read_image(im.get(), dir_.c_str()));  // a directory, not a file
    EXPECT_EQ(0, kt_read_image(nullptr, "x"));
    EXPECT_EQ(0, kt_read_image(im.get(), nullptr));

    // Leading zeros and extra blanks are still numbers; trailing data is ignored.
    const std::string p = write_text("loose", "P2 2  1\t255 007\n\n 255 extra");
    ASSERT_EQ(1, kt_read_image(im.get(), p.c_str()));
    EXPECT_EQ(7, im.at(0, 0));
    EXPECT_EQ(255, im.at(1, 0));
}

TEST_F(Pnm, WriteRefusesBadImagesAndOverlongPaths) {
    Image two(2, 2, 2), gray(2, 2, 1), empty;
    EXPECT_EQ(0, kt_write_image(two.get(), (dir_ + "/two").c_str()));
    EXPECT_EQ(0, kt_write_image(empty.get(), (dir_ + "/e").c_str()));
    EXPECT_EQ(0, kt_write_image(nullptr, (dir_ + "/n").c_str()));
    EXPECT_EQ(0, kt_write_image(gray.get(), nullptr));
    // A base path that, with its extension, would not fit the path buffer is refused, not cut.
    const std::string long_base = dir_ + "/" + std::string(KT_PNM_PATH_MAX, 'a');
    EXPECT_EQ(0, kt_write_image(gray.get(), long_base.c_str()));
    const std::string just_over = dir_ + "/" + std::string(KT_PNM_PATH_MAX - dir_.size() - 5, 'b');
    ASSERT_EQ(size_t(KT_PNM_PATH_MAX) - 4, just_over.size());  // + ".pgm" + terminator = max + 1
    EXPECT_EQ(0, kt_write_image(gray.get(), just_over.c_str()));
    EXPECT_EQ(0, kt_write_image(gray.get(), (dir_ + "/no/such/dir/x").c_str()));
}

}  // namespace
