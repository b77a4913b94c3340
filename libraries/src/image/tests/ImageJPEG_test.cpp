// ImageJPEG: round trips through libjpeg within tolerance, and corrupt or hostile bytes refused
// without ending the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "../../core/tests/image_test_util.h"
#include "ktil_ImageJPEG.h"

using kttest::Image;
using Bytes = std::vector<unsigned char>;

namespace {

// A smooth picture (fourth byte 77): JPEG should give it back within a few levels.
void gradient(kt_image& im) {
    for (uint32_t i = 0; i < im.width * im.height; ++i)
        for (uint32_t c = 0; c < im.channels; ++c)
            im.data[i * im.channels + c] = c == 3 ? 77 : (i % im.width * 4 + i / im.width * 2 + c * 40) % 256;
}

double meanError(const kt_image& a, const kt_image& b, uint32_t channels) {
    double sum = 0;
    const uint32_t pixels = a.width * a.height;
    for (uint32_t i = 0; i < pixels; ++i)
        for (uint32_t c = 0; c < channels; ++c)
            sum += std::abs(a.data[i * a.channels + c] - b.data[i * b.channels + c]);
    return sum / (pixels * channels);
}

}  // namespace

// Decoded as one, three or four channels (the fourth byte 0); the same bytes through setData read
// the same header. Two-channel and empty images are not encoded.
TEST(ImageJPEG, RoundTripsWithinTolerance) {
    const struct { uint32_t w, h, channels, decodeAs, compared; } cases[] = {
        {33, 17, 1, 1, 1}, {40, 24, 3, 3, 3}, {40, 24, 4, 4, 3}, {16, 16, 4, 1, 0}, {1, 1, 3, 4, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.channels << " as " << c.decodeAs);
        Image src(c.w, c.h, c.channels), out;
        gradient(src.img);
        ktil::ImageJPEG jpeg, copy;
        ASSERT_TRUE(jpeg.encode(src.img, 95));
        EXPECT_TRUE(jpeg.getWidth() == c.w && jpeg.getHeight() == c.h);
        EXPECT_EQ(jpeg.getChannels(), c.channels == 1 ? 1u : 3u);
        ASSERT_TRUE(jpeg.decode(out.img, c.decodeAs));
        ASSERT_TRUE(out.img.width == c.w && out.img.height == c.h && out.img.channels == c.decodeAs);
        EXPECT_TRUE(c.compared == 0 || meanError(src.img, out.img, c.compared) < 3.0);
        EXPECT_TRUE(c.decodeAs != 4 || out.img.data[3] == 0);
        ASSERT_TRUE(copy.setData(jpeg.getData().data(), jpeg.getLength()));
        EXPECT_EQ(copy.getWidth(), c.w);
    }
    Image twoChannel(4, 4, 2), empty;
    ktil::ImageJPEG jpeg;
    EXPECT_TRUE(!jpeg.encode(twoChannel.img) && !jpeg.encode(empty.img) && jpeg.getLength() == 0u);
}

// Refused bytes are not taken; bytes whose header reads but whose body does not fail to decode and
// leave the output as it was.
TEST(ImageJPEG, CorruptAndHostileBytesAreRefused) {
    Image src(64, 48, 3);
    gradient(src.img);
    ktil::ImageJPEG encoder;
    ASSERT_TRUE(encoder.encode(src.img));
    const Bytes good = encoder.getData();
    ASSERT_GT(good.size(), 200u);
    Bytes noise(500), huge = good, unbacked = good, scrambled = good;
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>((i * 131 + 7) & 0xFF);
    // A header claiming 20000 pixels per side: the frame header holds height, width big-endian.
    const unsigned char frameHeader[] = {0xFF, 0xC0};
    const auto at = std::search(huge.begin(), huge.end(), frameHeader, frameHeader + 2);
    ASSERT_LT(at + 8, huge.end());
    at[5] = at[7] = 0x4E, at[6] = at[8] = 0x20;
    // 8000 x 8000 is within the side limit, but 64 M pixels cannot come from a few hundred bytes.
    const auto unbackedAt = unbacked.begin() + (at - huge.begin());
    unbackedAt[5] = unbackedAt[7] = 0x1F, unbackedAt[6] = unbackedAt[8] = 0x40;
    for (size_t i = scrambled.size() / 2; i < scrambled.size() - 2; i += 3) scrambled[i] = 0xFF;
    const struct { const char* what; Bytes bytes; bool headerReads; } cases[] = {
        {"noise", noise, false},
        {"header only", Bytes(good.begin(), good.begin() + 20), false},
        {"truncated body", Bytes(good.begin(), good.begin() + good.size() / 2), true},
        {"scrambled body", scrambled, true},
        {"oversized header", huge, false},
        {"header larger than its bytes", unbacked, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ktil::ImageJPEG jpeg;
        EXPECT_EQ(jpeg.setData(c.bytes.data(), c.bytes.size()), c.headerReads);
        Image out(3, 3, 1);
        out.fill(9);
        EXPECT_TRUE(c.headerReads || jpeg.getLength() == 0u);
        EXPECT_TRUE(!c.headerReads || (!jpeg.decode(out.img, 1) && !jpeg.decode(out.img, 4)));
        EXPECT_TRUE(out.img.width == 3u && out.all(9));
    }
}
