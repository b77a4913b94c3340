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
    EXPECT_TRUE(frame.isImageSet("Native Image", 3));
    EXPECT_TRUE(frame.isImageSet("Native Image", 1));
    EXPECT_FALSE(frame.isImageSet("Native Image", 4));
    const kt_image* colour = frame.getSetImage("Native Image", 1);
    const kt_image* gray = frame.getSetImage("Native Image", 2);
    ASSERT_NE(colour, nullptr);
    ASSERT_NE(gray, nullptr);
    EXPECT_NE(colour->data, bgry.img.data) << "the frame keeps its own copy";
    EXPECT_EQ(0, memcmp(colour->data, bgry.img.data, bgry.img.size));
    ASSERT_EQ(gray->channels, 1u);
    ASSERT_EQ(gray->size, 8u);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(gray->data[i], bgry.img.data[4 * i + 3]) << i;

    Image three(2, 2, 3);
    EXPECT_THROW(frame.setBGRY("Other", three.img), kttl::Exception);
    frame.setImage("Other", three.img, 3);
    const kt_image* luminance = frame.getSetImage("Other", 2);
    ASSERT_NE(luminance, nullptr);
    const unsigned char* p = three.img.data;
    EXPECT_EQ(luminance->data[1], (30 * p[5] + 59 * p[4] + 11 * p[3]) / 100) << "blue, green, red order";
}

TEST(ProcessFrame, SetImagesClearingAndReuse) {
    ProcessFrame frame;
    Image gray(6, 4, 1);
    frame.setImage("Native Image", gray.img, 2);
    frame.setAttribute("native-resolution", "6x4");
    frame.setTimePosition(kttl::TimeStamp::systemTime(), kttl::ElapsedTime(1234));
    frame.setScale(0.5);
    frame.setFrameFlags(Frame::kResetTracker);
    EXPECT_TRUE(frame.isImageSet("Native Image", 2));
    EXPECT_FALSE(frame.isImageSet("Native Image", 1));
    ktvl::Resolution native;
    ASSERT_TRUE(frame.getNativeResolution(native));
    EXPECT_EQ(native, ktvl::Resolution(6, 4));
    EXPECT_EQ(frame.getPosition().getMilliseconds(), 1234);
    const unsigned char* buffer = frame.getSetImage("Native Image", 2)->data;

    // Unset: the content stays but the image no longer counts for this frame.
    frame.unsetImage("Native Image");
    EXPECT_FALSE(frame.isImageSet("Native Image", 2));
    EXPECT_EQ(frame.getSetImage("Native Image", 2), nullptr);
    EXPECT_NE(frame.getImage("Native Image", 2), nullptr);

    frame.clear();
    EXPECT_FALSE(frame.isImageSet("Native Image", 2));
    EXPECT_EQ(frame.getImage("Native Image", 2), nullptr);
    EXPECT_TRUE(frame.imageNames().empty());
    EXPECT_EQ(frame.attributeCount(), 0u);
    EXPECT_FALSE(frame.getNativeResolution(native));
    EXPECT_EQ(frame.getPosition().getMilliseconds(), 0);
    EXPECT_TRUE(frame.getTimeStamp() == kttl::TimeStamp());
    EXPECT_EQ(frame.getScale(), 1.0);
    EXPECT_EQ(frame.getFrameFlags(), 0u);

    // The next frame of the same size reuses the buffer.
    frame.setImage("Native Image", gray.img, 2);
    EXPECT_EQ(frame.getSetImage("Native Image", 2)->data, buffer);
    EXPECT_EQ(frame.imageNames().size(), 1u);

    // Refused inputs leave the frame as it was.
    kt_image empty{};
    EXPECT_THROW(frame.setImage("Bad", empty, 2), kttl::Exception);
    EXPECT_THROW(frame.setImage("Bad", gray.img, 8), kttl::Exception);
    kt_image lying = gray.img;
    lying.size = 3;
    EXPECT_THROW(frame.setImage("Bad", lying, 2), kttl::Exception);
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
    EXPECT_FALSE(frame.isImageSet("Native Image", 2));
    EXPECT_TRUE(frame.isImageSet("Processed Image", 2));

    frame.unsetImage("Processed Image");
    frame.setImage("Stationary Object Processed", gray.img, 2);
    frame.setImage("Background Image", gray.img, 2);
    frame.setImage("Background Image", gray.img, 2);
    const ktsl::Set<kttl::String> expected{"Background Image", "Stationary Object Processed"};
    EXPECT_EQ(frame.getSetImages(), expected);
    ProcessFrame copy(frame);
    EXPECT_EQ(copy.getSetImages(), expected);
    EXPECT_FALSE(copy.isImageSet("Processed Image", 2));
}
