// MultiImage: deriving representations, reusing buffers, growing, and its binary form read from
// truncated and hostile bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../core/tests/image_test_util.h"
#include "../../misc/tests/TestBytes.h"
#include "ktil_FlatImage.h"
#include "ktil_MultiImage.h"

using kttest::Image;

namespace {

Bytes binOfImage(const ktil::MultiImage& m) {
    Bytes out(m.getBinLength());
    EXPECT_EQ(m.toBin(out.data()), out.size());
    return out;
}

// True when `m` refuses `in` with the plain fromBin failure.
bool refused(ktil::MultiImage& m, const Bytes& in) {
    return thrownMessage([&] { m.fromBin(in.data(), static_cast<unsigned>(in.size())); }) ==
           "ktsl::Serializable::fromBin() - Failed!";
}

void pattern(kt_image& im) {
    for (uint32_t i = 0; i < im.size; ++i) im.data[i] = static_cast<unsigned char>((i * 13) / 7);
}

}  // namespace

TEST(MultiImage, DerivesRepresentationsAndKeepsBuffers) {
    Image bgr(3, 2, 3);
    pattern(bgr.img);
    ktil::MultiImage m;
    m.assign(bgr.img, ktil::MultiImage::kColour | ktil::MultiImage::kGray);
    ASSERT_EQ(m.getTypes(), 3u);
    const unsigned char* p = bgr.img.data + 3;  // pixel 1: blue, green, red
    EXPECT_EQ(m.getFlat(2)->data[1], (30 * p[2] + 59 * p[1] + 11 * p[0]) / 100) << "red weighs 30, blue 11";
    EXPECT_EQ(m.getJPEG(), nullptr);

    Image gray(3, 2, 1);
    pattern(gray.img);
    const unsigned char* colourBuffer = m.getFlat(1)->data;
    m.assign(gray.img, ktil::MultiImage::kColour);
    EXPECT_EQ(m.getTypes(), 1u) << "only what was asked for";
    ASSERT_EQ(m.getFlat(1)->channels, 4u);
    EXPECT_NE(m.getFlat(1)->data, colourBuffer) << "three to four channels needs a new buffer";
    EXPECT_EQ(m.getFlat(1)->data[4 * 5 + 2], gray.img.data[5]);

    Image bgry(3, 2, 4);
    pattern(bgry.img);
    m.assignBGRY(bgry.img);
    const unsigned char* kept = m.getFlat(1)->data;
    m.clear();
    EXPECT_EQ(m.getFlat(1), nullptr);
    m.assignBGRY(bgry.img);
    EXPECT_EQ(m.getFlat(1)->data, kept) << "same shape, same buffer";
    EXPECT_EQ(m.getFlat(2)->data[4], bgry.img.data[4 * 4 + 3]);

    m.addTypes(ktil::MultiImage::kJpeg);
    ASSERT_NE(m.getJPEG(), nullptr);
    EXPECT_EQ(m.getTypes(), 7u);
    m.grow();
    EXPECT_EQ(m.getTypes(), 7u);
    EXPECT_EQ(m.getFlat(2)->width, 6u);
    EXPECT_EQ(m.getFlat(1)->height, 4u);
    EXPECT_EQ(m.getJPEG()->getWidth(), 6u);
    EXPECT_EQ(m.getFlat(2)->data[6 + 1], bgry.img.data[3]) << "pixel (1, 1) repeats (0, 0)";

    // From a JPEG image object: decoded for the flat representation asked for.
    ktil::MultiImage fromJpeg;
    fromJpeg.assign(*m.getJPEG(), ktil::MultiImage::kGray | ktil::MultiImage::kJpeg);
    EXPECT_EQ(fromJpeg.getTypes(), 6u);
    EXPECT_EQ(fromJpeg.getFlat(2)->width, 6u);

    ktil::FlatImage<1> flat;
    ASSERT_TRUE(flat.assign(gray.img));
    fromJpeg.assign(flat, ktil::MultiImage::kGray);
    EXPECT_EQ(kttest::first_difference(fromJpeg.getFlat(2), &gray.img), -1);

    EXPECT_TRUE(endsWith(thrownMessage([&] { m.assign(gray.img, 8); }),
                         "): ktil::MultiImage::JPEG, Flat Gray or Flat RGB type not set"));
    ktil::MultiImage empty;
    EXPECT_TRUE(throwsLibraryException([&] { empty.addTypes(1); }));
}

TEST(MultiImage, BinaryFormRoundTripsAndRefusesBadInput) {
    Image bgry(5, 3, 4);
    pattern(bgry.img);
    ktil::MultiImage m;
    m.assignBGRY(bgry.img);
    m.addTypes(ktil::MultiImage::kJpeg);
    const Bytes bin = binOfImage(m);

    ktil::MultiImage back;
    ASSERT_EQ(back.fromBin(bin.data(), static_cast<unsigned>(bin.size())), bin.size());
    EXPECT_EQ(back.getTypes(), 7u);
    EXPECT_EQ(kttest::first_difference(back.getFlat(1), m.getFlat(1)), -1);
    EXPECT_EQ(kttest::first_difference(back.getFlat(2), m.getFlat(2)), -1);
    EXPECT_EQ(back.getJPEG()->getData(), m.getJPEG()->getData());
    EXPECT_EQ(binOfImage(back), bin);

    // Every truncated prefix is refused and leaves the value as it was.
    Image small(2, 2, 1);
    pattern(small.img);
    ktil::MultiImage target;
    target.assign(small.img, ktil::MultiImage::kGray);
    const Bytes before = binOfImage(target);
    for (size_t n = 0; n < bin.size(); ++n) {
        ASSERT_TRUE(refused(target, Bytes(bin.begin(), bin.begin() + n))) << n;
        ASSERT_EQ(binOfImage(target), before) << n;
    }

    auto flat = [](unsigned types, unsigned w, unsigned h, unsigned c, unsigned bytes) {
        Bytes b;
        put32(b, types);
        put32(b, w);
        put32(b, h);
        put32(b, c);
        b.insert(b.end(), bytes, 7);
        return b;
    };
    Bytes mismatch = flat(3, 2, 2, 3, 12);
    const Bytes grayPart = flat(0, 3, 2, 1, 6);
    mismatch.insert(mismatch.end(), grayPart.begin() + 4, grayPart.end());
    Bytes jpegTooLong;
    put32(jpegTooLong, 4);
    put32(jpegTooLong, 0xFFFFFFF0u);
    Bytes jpegNoise;
    put32(jpegNoise, 4);
    put32(jpegNoise, 8);
    jpegNoise.insert(jpegNoise.end(), 8, 0xAB);
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"unknown type bit", flat(9, 1, 1, 4, 4)},
        {"gray of three channels", flat(2, 2, 2, 3, 12)},
        {"colour of one channel", flat(1, 2, 2, 1, 4)},
        {"colour of two channels", flat(1, 2, 2, 2, 8)},
        {"zero width", flat(2, 0, 5, 1, 0)},
        {"size overflows", flat(2, 65536, 65536, 1, 16)},
        {"size beyond the input", flat(1, 4096, 4096, 4, 64)},
        {"shapes disagree", mismatch},
        {"JPEG count beyond the input", jpegTooLong},
        {"JPEG bytes that are not JPEG", jpegNoise},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(refused(target, c.bytes)) << c.what;
        EXPECT_EQ(binOfImage(target), before) << c.what;
    }
    Bytes emptyForm;
    put32(emptyForm, 0);
    EXPECT_EQ(target.fromBin(emptyForm.data(), 4), 4u);
    EXPECT_TRUE(target.isEmpty());
}
