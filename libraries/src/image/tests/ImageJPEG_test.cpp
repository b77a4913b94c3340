// ImageJPEG: round trips through libjpeg within tolerance, and corrupt or hostile bytes refused
// without ending the process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "../../core/tests/image_test_util.h"
#include "ktil_ImageJPEG.h"

using kttest::Image;

namespace {

// A smooth picture: JPEG should give it back within a few levels.
void gradient(kt_image& im) {
    for (uint32_t y = 0; y < im.height; ++y)
        for (uint32_t x = 0; x < im.width; ++x)
            for (uint32_t c = 0; c < im.channels; ++c)
                im.data[kt_image_index(&im, x, y) + c] = static_cast<unsigned char>(c == 3 ? 77 : (x * 4 + y * 2 + c * 40) & 0xFF);
}

double meanError(const kt_image& a, const kt_image& b, uint32_t channels) {
    double sum = 0;
    const uint32_t pixels = a.width * a.height;
    for (uint32_t i = 0; i < pixels; ++i)
        for (uint32_t c = 0; c < channels; ++c) sum += std::abs(a.data[i * a.channels + c] - b.data[i * b.channels + c]);
    return sum / (pixels * channels);
}

std::vector<unsigned char> encoded(uint32_t w, uint32_t h, uint32_t channels) {
    Image src(w, h, channels);
    gradient(src.img);
    ktil::ImageJPEG jpeg;
    EXPECT_TRUE(jpeg.encode(src.img));
    return jpeg.getData();
}

}  // namespace

TEST(ImageJPEG, RoundTripsWithinTolerance) {
    struct Case {
        uint32_t w, h, channels, decodeAs, compared;
    } cases[] = {{33, 17, 1, 1, 1}, {40, 24, 3, 3, 3}, {40, 24, 4, 4, 3}, {16, 16, 4, 1, 0}, {1, 1, 3, 4, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.channels << " as " << c.decodeAs);
        Image src(c.w, c.h, c.channels);
        gradient(src.img);
        ktil::ImageJPEG jpeg;
        ASSERT_TRUE(jpeg.encode(src.img, 95));
        EXPECT_EQ(jpeg.getWidth(), c.w);
        EXPECT_EQ(jpeg.getHeight(), c.h);
        EXPECT_EQ(jpeg.getChannels(), c.channels == 1 ? 1u : 3u);
        Image out;
        ASSERT_TRUE(jpeg.decode(out.img, c.decodeAs));
        ASSERT_EQ(out.img.width, c.w);
        ASSERT_EQ(out.img.height, c.h);
        ASSERT_EQ(out.img.channels, c.decodeAs);
        if (c.compared != 0) {
            EXPECT_LT(meanError(src.img, out.img, c.compared), 3.0);
        }
        if (c.decodeAs == 4) {
            EXPECT_EQ(out.img.data[3], 0) << "the fourth byte is 0";
        }
        // The same bytes taken through setData read the same header.
        ktil::ImageJPEG copy;
        ASSERT_TRUE(copy.setData(jpeg.getData().data(), jpeg.getLength()));
        EXPECT_EQ(copy.getWidth(), c.w);
    }
    Image twoChannel(4, 4, 2), empty;
    ktil::ImageJPEG jpeg;
    EXPECT_FALSE(jpeg.encode(twoChannel.img));
    EXPECT_FALSE(jpeg.encode(empty.img));
    EXPECT_EQ(jpeg.getLength(), 0u);
}

TEST(ImageJPEG, CorruptAndHostileBytesAreRefused) {
    const std::vector<unsigned char> good = encoded(64, 48, 3);
    ASSERT_GT(good.size(), 200u);
    std::vector<unsigned char> noise(500);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>((i * 131 + 7) & 0xFF);
    // A header claiming 20000 pixels per side: the frame header holds height, width big-endian.
    std::vector<unsigned char> huge = good;
    for (size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0x4E;
            huge[i + 6] = huge[i + 8] = 0x20;
            break;
        }
    }
    std::vector<unsigned char> scrambled = good;
    for (size_t i = scrambled.size() / 2; i < scrambled.size() - 2; i += 3) scrambled[i] = 0xFF;

    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        bool headerReads;
    } cases[] = {
        {"noise", noise, false},
        {"header only", std::vector<unsigned char>(good.begin(), good.begin() + 20), false},
        {"truncated body", std::vector<unsigned char>(good.begin(), good.begin() + good.size() / 2), true},
        {"scrambled body", scrambled, true},
        {"oversized header", huge, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ktil::ImageJPEG jpeg;
        EXPECT_EQ(jpeg.setData(c.bytes.data(), c.bytes.size()), c.headerReads);
        if (!c.headerReads) {
            EXPECT_EQ(jpeg.getLength(), 0u) << "refused bytes are not taken";
            continue;
        }
        Image out(3, 3, 1);
        out.fill(9);
        EXPECT_FALSE(jpeg.decode(out.img, 1));
        EXPECT_FALSE(jpeg.decode(out.img, 4));
        EXPECT_EQ(out.img.width, 3u);
        EXPECT_TRUE(out.all(9)) << "a failed decode leaves the output as it was";
    }
}
