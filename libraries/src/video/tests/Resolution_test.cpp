// ktvl::Resolution: its text forms, ordering, maximum and serialized forms.
#include <gtest/gtest.h>

#include <vector>

#include "kttl_Exception.h"
#include "ktvl_Resolution.h"

using ktvl::Resolution;

TEST(Resolution, TextForms) {
    struct Case {
        const char* text;
        bool ok;
        int w, h;
    };
    const Case cases[] = {
        {"320x240", true, 320, 240},      {"320 x 240", true, 320, 240}, {"  320  x\t240", true, 320, 240},
        {"320x240 at 25", true, 320, 240}, {"0x0", true, 0, 0},          {"-4x3", true, -4, 3},
        {"cif", true, 352, 288},          {"CIF", true, 352, 288},       {"qcif", true, 176, 144},
        {"4Cif", true, 704, 576},         {"720P", true, 1280, 720},     {"1080p", true, 1920, 1080},
        {" CIF ", true, 352, 288},        {"320X240", false, 0, 0},      {"320", false, 0, 0},
        {"320x", false, 0, 0},            {"x240", false, 0, 0},         {"", false, 0, 0},
        {"VGA", false, 0, 0},             {"480p", false, 0, 0},         {"99999999999x2", false, 0, 0},
        {"2147483647x1", true, 2147483647, 1},
    };
    for (const Case& c : cases) {
        Resolution r(7, 9);
        EXPECT_EQ(r.fromString(c.text), c.ok) << c.text;
        EXPECT_EQ(r.getWidth(), c.ok ? c.w : 7) << c.text;
        EXPECT_EQ(r.getHeight(), c.ok ? c.h : 9) << c.text;
    }
    EXPECT_EQ(Resolution(352, 288).toString(), "352x288");
}

TEST(Resolution, OrderAndMaximum) {
    EXPECT_LT(Resolution(176, 144), Resolution(320, 240));
    EXPECT_LT(Resolution(320, 180), Resolution(320, 240));
    EXPECT_FALSE(Resolution(320, 240) < Resolution(320, 240));
    EXPECT_EQ(Resolution::getMax(Resolution(640, 360), Resolution(480, 480)), Resolution(640, 480));
    EXPECT_EQ(Resolution::getMax(Resolution(-1, -1), Resolution(176, 144)), Resolution(176, 144));
    EXPECT_EQ(Resolution::getMax(Resolution(-1, -1), Resolution(-1, -1)), Resolution(-1, -1));
}

TEST(Resolution, SerializedForms) {
    const Resolution r(1280, 720);
    ASSERT_EQ(r.getBinLength(), 8u);
    std::vector<unsigned char> bin(8);
    ASSERT_EQ(r.toBin(bin.data()), 8u);
    EXPECT_EQ(bin, (std::vector<unsigned char>{0x00, 0x05, 0, 0, 0xD0, 0x02, 0, 0}));
    Resolution back;
    EXPECT_EQ(back.fromBin(bin.data(), 8), 8u);
    EXPECT_EQ(back, r);
    EXPECT_THROW(back.fromBin(bin.data(), 7), kttl::Exception);

    EXPECT_EQ(r.toXML(), "<Resolution><width>1280</width><height>720</height></Resolution>");
    Resolution fromXml;
    ASSERT_TRUE(fromXml.fromXML(r.toXML().c_str()));
    EXPECT_EQ(fromXml, r);
    ASSERT_TRUE(fromXml.fromXML("<resolution>cif</resolution>"));
    EXPECT_EQ(fromXml, Resolution(352, 288));
    EXPECT_FALSE(fromXml.fromXML("<Resolution><width>5</width></Resolution>"));
    EXPECT_FALSE(fromXml.fromXML("<Resolution><width>5</width><height>x</height></Resolution>"));
    EXPECT_EQ(fromXml, Resolution(352, 288));
    EXPECT_EQ(r.toXML(nullptr), "");
}
