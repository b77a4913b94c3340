// ProcessFrame as the frame loop uses it: images in both forms, set images, clearing and reuse.
#include <gtest/gtest.h>

#include "ProcessFrame.h"
#include "kttl_Exception.h"

namespace {

struct Image {
    kt_image img{};
    Image(uint32_t w, uint32_t h, uint32_t channels) {
        kt_init_image(&img, w, h, channels);
        for (uint32_t i = 0; i < img.size; ++i) img.data[i] = static_cast<unsigned char>(i * 7);
    }
    ~Image() { kt_free_image(&img); }
};

}  // namespace

TEST(ProcessFrame, StoresBothFormsOfABgryImage) {
    ProcessFrame frame;
    Image bgry(4, 2, 4);
    frame.setBGRY("Native Image", bgry.img);
    EXPECT_TRUE(frame.isImageSet("Native Image", 3) && !frame.isImageSet("Native Image", 4));
    // The frame keeps its own copy of the colour; the gray form is the fourth byte.
    const kt_image* colour = frame.getSetImage("Native Image", 1);
    const kt_image* gray = frame.getSetImage("Native Image", 2);
    ASSERT_TRUE(colour && gray && gray->channels == 1u && gray->size == 8u);
    EXPECT_TRUE(colour->data != bgry.img.data && memcmp(colour->data, bgry.img.data, bgry.img.size) == 0);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(gray->data[i], bgry.img.data[4 * i + 3]) << i;

    // Three channels are not blue-green-red-luminance; as colour, gray is weighed in blue, green, red order.
    Image three(2, 2, 3);
    EXPECT_THROW(frame.setBGRY("Other", three.img), kttl::Exception);
    frame.setImage("Other", three.img, 3);
    const kt_image* luminance = frame.getSetImage("Other", 2);
    const unsigned char* p = three.img.data;
    ASSERT_NE(luminance, nullptr);
    EXPECT_EQ(luminance->data[1], (30 * p[5] + 59 * p[4] + 11 * p[3]) / 100);
}

TEST(ProcessFrame, SetImagesClearingAndReuse) {
    ProcessFrame frame;
    Image gray(6, 4, 1);
    frame.setImage("Native Image", gray.img, 2);
    frame.setAttribute("native-resolution", "6x4");
    frame.setTimePosition(kttl::TimeStamp::systemTime(), kttl::ElapsedTime(1234));
    frame.setScale(0.5);
    frame.setFrameFlags(Frame::kResetTracker);
    EXPECT_TRUE(frame.isImageSet("Native Image", 2) && !frame.isImageSet("Native Image", 1));
    ktvl::Resolution native;
    EXPECT_TRUE(frame.getNativeResolution(native) && native == ktvl::Resolution(6, 4));
    const unsigned char* buffer = frame.getSetImage("Native Image", 2)->data;

    // Unset: the content stays but the image no longer counts for this frame.
    frame.unsetImage("Native Image");
    EXPECT_TRUE(!frame.isImageSet("Native Image", 2) && frame.getSetImage("Native Image", 2) == nullptr);
    EXPECT_NE(frame.getImage("Native Image", 2), nullptr);

    // Clearing empties images, attributes, times, scale and flags.
    frame.clear();
    EXPECT_TRUE(frame.getImage("Native Image", 2) == nullptr && frame.imageNames().empty());
    EXPECT_TRUE(frame.attributeCount() == 0u && !frame.getNativeResolution(native));
    EXPECT_TRUE(frame.getPosition().getMilliseconds() == 0 && frame.getTimeStamp() == kttl::TimeStamp());
    EXPECT_TRUE(frame.getScale() == 1.0 && frame.getFrameFlags() == 0u);

    // The next frame of the same size reuses the buffer.
    frame.setImage("Native Image", gray.img, 2);
    EXPECT_TRUE(frame.getSetImage("Native Image", 2)->data == buffer && frame.imageNames().size() == 1u);

    // Refused inputs leave the frame as it was.
    kt_image empty{}, lying = gray.img;
    lying.size = 3;
    for (kt_image* bad : {&empty, &lying}) EXPECT_THROW(frame.setImage("Bad", *bad, 2), kttl::Exception);
    EXPECT_THROW(frame.setImage("Bad", gray.img, 8), kttl::Exception);
    EXPECT_FALSE(frame.isImageSet("Bad", 0));
    EXPECT_THROW(frame.toXML(), kttl::Exception);
}

// Names cleared or unset are kept for reuse by the frame; they must never count as set again.
TEST(ProcessFrame, ReusedFrameKnowsOnlyThisFramesImages) {
    ProcessFrame frame;
    Image gray(4, 2, 1);
    for (const char* name : {"Native Image", "Processed Image", "Background Image"}) frame.setImage(name, gray.img, 2);
    frame.clear();
    EXPECT_TRUE(frame.getSetImages().empty());
    frame.setImage("Processed Image", gray.img, 2);
    EXPECT_EQ(frame.getSetImages(), (ktsl::Set<kttl::String>{"Processed Image"}));
    EXPECT_TRUE(!frame.isImageSet("Native Image", 2) && frame.isImageSet("Processed Image", 2));

    frame.unsetImage("Processed Image");
    frame.setImage("Stationary Object Processed", gray.img, 2);
    frame.setImage("Background Image", gray.img, 2);
    frame.setImage("Background Image", gray.img, 2);
    const ktsl::Set<kttl::String> expected{"Background Image", "Stationary Object Processed"};
    EXPECT_EQ(frame.getSetImages(), expected);
    ProcessFrame copy(frame);
    EXPECT_TRUE(copy.getSetImages() == expected && !copy.isImageSet("Processed Image", 2));
}
