// MultiImage: deriving representations, reusing buffers, growing, and its binary form read from
// truncated and hostile bytes.
#include <gtest/gtest.h>

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

// True when `m` refuses `in` with the plain fromBin failure and keeps its value.
bool refused(ktil::MultiImage& m, const Bytes& in) {
    const Bytes before = binOfImage(m);
    return thrownMessage([&] { m.fromBin(in.data(), static_cast<unsigned>(in.size())); }) ==
               "ktsl::Serializable::fromBin() - Failed!" && binOfImage(m) == before;
}

// 32-bit words, then `bytes` bytes of `fill`: a flat representation is types, width, height,
// channels and pixels; a JPEG one is types, byte count and bytes.
Bytes form(std::initializer_list<unsigned> words, unsigned bytes, unsigned char fill = 7) {
    Bytes b;
    for (unsigned v : words) put32(b, v);
    b.insert(b.end(), bytes, fill);
    return b;
}

void pattern(kt_image& im) {
    for (uint32_t i = 0; i < im.size; ++i) im.data[i] = static_cast<unsigned char>((i * 13) / 7);
}

}  // namespace

TEST(MultiImage, DerivesRepresentationsAndKeepsBuffers) {
    using M = ktil::MultiImage;
    Image bgr(3, 2, 3), gray(3, 2, 1), bgry(3, 2, 4);
    for (Image* im : {&bgr, &gray, &bgry}) pattern(im->img);
    M m;
    m.assign(bgr.img, M::kColour | M::kGray);
    const unsigned char* p = bgr.img.data + 3;  // pixel 1: blue, green, red; red weighs 30, blue 11
    EXPECT_TRUE(m.getTypes() == 3u && m.getJPEG() == nullptr);
    EXPECT_EQ(m.getFlat(2)->data[1], (30 * p[2] + 59 * p[1] + 11 * p[0]) / 100);

    // Only what was asked for; three to four channels needs a new buffer.
    const unsigned char* colourBuffer = m.getFlat(1)->data;
    m.assign(gray.img, M::kColour);
    ASSERT_TRUE(m.getTypes() == 1u && m.getFlat(1)->channels == 4u);
    EXPECT_TRUE(m.getFlat(1)->data != colourBuffer && m.getFlat(1)->data[4 * 5 + 2] == gray.img.data[5]);

    // Same shape, same buffer, even after a clear.
    m.assignBGRY(bgry.img);
    const unsigned char* kept = m.getFlat(1)->data;
    m.clear();
    EXPECT_EQ(m.getFlat(1), nullptr);
    m.assignBGRY(bgry.img);
    EXPECT_TRUE(m.getFlat(1)->data == kept && m.getFlat(2)->data[4] == bgry.img.data[4 * 4 + 3]);

    m.addTypes(M::kJpeg);
    ASSERT_TRUE(m.getTypes() == 7u && m.getJPEG() != nullptr);
    m.grow();  // every representation doubles; pixel (1, 1) repeats (0, 0)
    EXPECT_TRUE(m.getTypes() == 7u && m.getFlat(2)->width == 6u && m.getFlat(1)->height == 4u &&
                m.getJPEG()->getWidth() == 6u && m.getFlat(2)->data[6 + 1] == bgry.img.data[3]);

    // From a JPEG or a flat image object: decoded for the flat representation asked for.
    M fromJpeg;
    fromJpeg.assign(*m.getJPEG(), M::kGray | M::kJpeg);
    EXPECT_TRUE(fromJpeg.getTypes() == 6u && fromJpeg.getFlat(2)->width == 6u);
    ktil::FlatImage<1> flat;
    ASSERT_TRUE(flat.assign(gray.img));
    fromJpeg.assign(flat, M::kGray);
    EXPECT_EQ(kttest::first_difference(fromJpeg.getFlat(2), &gray.img), -1);

    expectThrowMessage([&] { m.assign(gray.img, 8); }, "image/ktil_MultiImage",
                       "ktil::MultiImage::JPEG, Flat Gray or Flat RGB type not set");
    EXPECT_TRUE(throwsLibraryException([&] { M().addTypes(1); }));
}

TEST(MultiImage, BinaryFormRoundTripsAndRefusesBadInput) {
    Image bgry(5, 3, 4), small(2, 2, 1);
    for (Image* im : {&bgry, &small}) pattern(im->img);
    ktil::MultiImage m, back, target;
    m.assignBGRY(bgry.img);
    m.addTypes(ktil::MultiImage::kJpeg);
    const Bytes bin = binOfImage(m);
    ASSERT_EQ(back.fromBin(bin.data(), static_cast<unsigned>(bin.size())), bin.size());
    EXPECT_TRUE(back.getTypes() == 7u && back.getJPEG()->getData() == m.getJPEG()->getData());
    EXPECT_TRUE(kttest::first_difference(back.getFlat(1), m.getFlat(1)) == -1 &&
                kttest::first_difference(back.getFlat(2), m.getFlat(2)) == -1);
    EXPECT_EQ(binOfImage(back), bin);

    // Every truncated prefix and every hostile form is refused and leaves the value as it was.
    target.assign(small.img, ktil::MultiImage::kGray);
    for (size_t n = 0; n < bin.size(); ++n)
        ASSERT_TRUE(refused(target, Bytes(bin.begin(), bin.begin() + n))) << n;
    Bytes mismatch = form({3, 2, 2, 3}, 12);
    const Bytes grayPart = form({3, 2, 1}, 6);
    mismatch.insert(mismatch.end(), grayPart.begin(), grayPart.end());
    const struct { const char* what; Bytes bytes; } cases[] = {
        {"unknown type bit", form({9, 1, 1, 4}, 4)},
        {"gray of three channels", form({2, 2, 2, 3}, 12)},
        {"colour of one channel", form({1, 2, 2, 1}, 4)},
        {"colour of two channels", form({1, 2, 2, 2}, 8)},
        {"zero width", form({2, 0, 5, 1}, 0)},
        {"size overflows", form({2, 65536, 65536, 1}, 16)},
        {"size beyond the input", form({1, 4096, 4096, 4}, 64)},
        {"shapes disagree", mismatch},
        {"JPEG count beyond the input", form({4, 0xFFFFFFF0u}, 0)},
        {"JPEG bytes that are not JPEG", form({4, 8}, 8, 0xAB)},
    };
    for (const auto& c : cases) EXPECT_TRUE(refused(target, c.bytes)) << c.what;
    const Bytes emptyForm(4, 0);
    EXPECT_TRUE(target.fromBin(emptyForm.data(), 4) == 4u && target.isEmpty());
}

// Representations whose summed binary form passes 4 GiB: the length must be refused, not wrapped
// into a short buffer that toBin() then overruns. Only the shapes are read, so the records claim
// their sizes without holding the bytes (and get their own small buffers back before destruction).
TEST(MultiImage, BinaryLengthRefusesWhatA32BitCountCannotHold) {
    using M = ktil::MultiImage;
    struct Case {
        uint32_t colourW, colourH, grayW, grayH;  // 0 x 0: representation absent
        uint64_t length;                          // 0: refused
    } cases[] = {
        {16384, 16384, 16384, 16384, 4 + 12 + (1ull << 30) + 12 + (1ull << 28)},
        {0, 0, 65537, 65535, 0},  // 0xFFFFFFFF bytes of gray plus its shape
        {65535, 16383, 65535, 16383, 0},
        {65535, 16383, 0, 0, 4 + 12 + 65535ull * 16383 * 4},
    };
    for (const Case& c : cases) {
        Image colour(2, 2, 4), gray(2, 2, 1);
        M m;
        const unsigned types = (c.colourW ? M::kColour : 0) | (c.grayW ? M::kGray : 0);
        m.assign(c.colourW ? colour.img : gray.img, types);
        kt_image* flats[2] = {m.getFlat(M::kColour), m.getFlat(M::kGray)};
        const uint32_t shapes[2][3] = {{c.colourW, c.colourH, 4}, {c.grayW, c.grayH, 1}};
        kt_image saved[2] = {};
        for (int i = 0; i < 2; ++i) {
            if (!flats[i]) continue;
            saved[i] = *flats[i];
            ASSERT_EQ(kt_image_bytes(shapes[i][0], shapes[i][1], shapes[i][2], &flats[i]->size), 1);
            flats[i]->width = shapes[i][0], flats[i]->height = shapes[i][1];
        }
        const std::string message = thrownMessage([&] {
            EXPECT_EQ(m.getBinLength(), c.length) << c.colourW << "x" << c.colourH;
        });
        for (int i = 0; i < 2; ++i)
            if (flats[i]) *flats[i] = saved[i];
        if (c.length == 0)
            EXPECT_NE(message.find("getBinLength() - image too large for its binary form"), std::string::npos)
                << c.colourW << "x" << c.colourH << " " << c.grayW << "x" << c.grayH;
        else
            EXPECT_EQ(message, "");
    }
}
