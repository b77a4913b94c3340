// ProcessFrame images: the set-images rule of multi-images, swapping buffers, adding
// representations, compressing and the accelerator bit.
#include <gtest/gtest.h>

#include "../../../../libraries/src/misc/tests/AllocCounter.h"
#include "../../../../libraries/src/misc/tests/TestBytes.h"
#include "ProcessFrame.h"

namespace {

struct Image {
    kt_image img{};
    Image(uint32_t w, uint32_t h, uint32_t channels) {
        kt_init_image(&img, w, h, channels);
        for (uint32_t i = 0; i < img.size; ++i) img.data[i] = static_cast<unsigned char>(i * 3);
    }
    ~Image() { kt_free_image(&img); }
};

}  // namespace

TEST(ProcessFrameImages, SetImagesSwapsAndTypes) {
    ProcessFrame frame;
    Image gray(8, 8, 1);
    frame.setImage("Processed Image", gray.img, Frame::kGray);
    EXPECT_EQ(frame.getMultiImage("Processed Image").getTypes(), 2u);
    frame.unsetImage("Processed Image");
    EXPECT_NE(frame.getImage("Processed Image", Frame::kGray), nullptr) << "content stays";
    EXPECT_TRUE(throwsEndingWith([&] { frame.getMultiImage("Processed Image"); },
                                 "ProcessFrame::getMultiImage() - image type is not set: Processed Image"));
    EXPECT_TRUE(throwsEndingWith([&] { frame.addType("Processed Image", Frame::kJpeg); },
                                 "ProcessFrame::addType() - that image type is not set"));

    // Swapping hands buffers over both ways.
    Image mine(8, 8, 1);
    unsigned char* given = mine.img.data;
    frame.swapImage("Processed Image", mine.img, Frame::kGray);  // the caller gets the frame's old buffer
    EXPECT_TRUE(frame.getSetImage("Processed Image", Frame::kGray)->data == given && mine.img.data != given);
    kt_image none{};
    frame.swapImage("Processed Image", none, Frame::kGray);  // an empty image unsets the name
    EXPECT_FALSE(frame.isImageSet("Processed Image", Frame::kGray));

    frame.setImage("Processed Image", gray.img, Frame::kGray);
    frame.addType("Processed Image", Frame::kColour);
    EXPECT_TRUE(frame.isImageSet("Processed Image", Frame::kColour | Frame::kGray));
    frame.compressImages({"Processed Image", "Absent"}, ktvl::Resolution(4, 4));
    const ktil::ImageJPEG* jpeg = frame.getMultiImage("Processed Image").getJPEG();
    EXPECT_TRUE(jpeg != nullptr && jpeg->getWidth() == 8u);
    frame.upscaleImages({"Processed Image"});
    EXPECT_EQ(frame.getSetImage("Processed Image", Frame::kGray)->width, 16u);

    // The accelerator bit counts even without a flat image; a null handle does not.
    int device = 0;
    EXPECT_FALSE(frame.isImageSet("Device", ProcessFrame::kAcceleratorImage));
    frame.setAcceleratorImage("Device", nullptr);
    EXPECT_FALSE(frame.isImageSet("Device", 0));
    frame.setAcceleratorImage("Device", &device);
    EXPECT_TRUE(frame.isImageSet("Device", ProcessFrame::kAcceleratorImage) &&
                !frame.isImageSet("Device", ProcessFrame::kAcceleratorImage | Frame::kGray));
    frame.clearImages();
    EXPECT_FALSE(frame.isImageSet("Device", 0) || frame.isImageSet("Processed Image", 0));
}

// The frame loop's use of one frame: after the first frame nothing is allocated.
TEST(ProcessFrameImages, ReusedFrameAllocatesNothing) {
    ProcessFrame frame;
    Image bgry(176, 144, 4), gray(176, 144, 1), peripheral(176, 144, 1);
    // Names made once, as the frame loop does: a long literal would cost a string per call.
    const kttl::String resolution = "native-resolution", native = "Native Image", processed = "Processed Image",
                       periph = "Peripheral Image";
    alloc_counter::Counts before{};
    for (int i = 0; i < 50; ++i) {
        if (i == 10) before = alloc_counter::now();
        frame.clear();
        frame.setAttribute(resolution, "176x144");
        frame.setBGRY(native, bgry.img);
        frame.setImage(processed, gray.img, Frame::kGray);
        frame.swapImage(periph, peripheral.img, Frame::kGray);  // alternates with the empty record it gets back
        ASSERT_TRUE(frame.getSetImage(native, Frame::kGray) && frame.isImageSet(processed, Frame::kGray) &&
                    frame.getMultiImage(native).getTypes() == 3u);
    }
    const long extra = (alloc_counter::now() - before).all;
    EXPECT_TRUE(!KT_ALLOC_COUNTING || extra == 0) << extra;
}
