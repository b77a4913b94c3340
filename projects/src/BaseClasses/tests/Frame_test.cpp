// Frame: its binary form read from good, truncated and hostile bytes, its attributes and images,
// and the metadata XML texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../../../libraries/src/misc/tests/TestBytes.h"
#include "Frame.h"
#include "ktil_FlatImage.h"

namespace {

using Box = ktml::BoundingBox<int>;

Object objectWith(uint32_t id, const Box& box, std::initializer_list<std::pair<const char*, double>> classes = {}) {
    Object o("Moving", kttl::ElapsedTime(15000));
    o.setId(id);
    o.insert(box, ktsl::List<kttl::Integer>(), kttl::TimeStamp(1700000000, 250));
    for (const auto& c : classes) o.getClassConfidences()[c.first] = c.second;
    return o;
}

// A frame with every part of the binary form filled.
Frame fullFrame() {
    Frame f;
    f.setTimePosition(kttl::TimeStamp(1700000123, 456), kttl::ElapsedTime(3725042));
    f.setFrameFlags(0x101);
    f.setAttribute("native-resolution", "6x4");
    f.setOrigin("rtsp://camera/1");
    f.getObjects().addObject(objectWith(3, Box(1, 2, 3, 4), {{"human", 0.5}}));
    f.getObjects().addObject(objectWith(9, Box(5, 6, 7, 8)));
    f.setObjectsIncluded(true);
    ktil::FlatImage<1> gray;
    ktil::FlatImage<4> bgry;
    if (!gray.resize(6, 4) || !bgry.resize(6, 4)) return f;
    for (uint32_t i = 0; i < 24 * 4; ++i) bgry.image().data[i] = static_cast<unsigned char>(i * 5);
    for (uint32_t i = 0; i < 24; ++i) gray.image().data[i] = static_cast<unsigned char>(i * 9);
    f.setImage("Processed Image", gray.image(), Frame::kGray);
    f.setImage("Native Image", bgry.image(), Frame::kColour | Frame::kGray | Frame::kJpeg);
    f.setImage("Background Image", gray.image(), Frame::kGray);  // not requested: does not travel
    f.setRequestedImages({"Native Image", "Processed Image", "Peripheral Image"});
    return f;
}

}  // namespace

TEST(Frame, BinaryFormRoundTrips) {
    const Frame f = fullFrame();
    const Bytes bin = binOf(f);
    Frame back;
    ASSERT_EQ(readBin(back, bin), bin.size());
    EXPECT_TRUE(binOf(back) == bin && back == f && back.getOrigin() == "rtsp://camera/1");
    EXPECT_TRUE(back.getPosition().getMilliseconds() == 3725042 && back.getFrameFlags() == 0x101u);
    EXPECT_TRUE(back.getObjects().size() == 2u && back.getObject(3) != nullptr && back.getObjectsIncluded());
    // Only requested images travel, each with its representations.
    EXPECT_EQ(back.imageNames(), (ktsl::Set<kttl::String>{"Native Image", "Processed Image"}));
    EXPECT_EQ(back.getMultiImage("Native Image").getTypes(), 7u);
    EXPECT_EQ(0, memcmp(back.getImage("Processed Image", Frame::kGray)->data,
                        f.getImage("Processed Image", Frame::kGray)->data, 24));

    // Without the objects flag the objects stay home.
    Frame noObjects = fullFrame(), read;
    noObjects.setObjectsIncluded(false);
    readBin(read, binOf(noObjects));
    EXPECT_TRUE(read.getObjects().empty() && !read.getObjectsIncluded());
}

TEST(Frame, RefusedBinaryInputLeavesTheFrameAsItWas) {
    const Bytes bin = binOf(fullFrame());
    Frame target;
    target.setAttribute("keep", "me");
    target.setObjectsIncluded(true);
    target.getObjects().addObject(objectWith(1, Box(0, 0, 2, 2)));
    target.setRequestedImages({"Keep"});
    const Bytes before = binOf(target);
    for (size_t n = 0; n < bin.size(); ++n)
        ASSERT_TRUE(fromBinRefused(target, Bytes(bin.begin(), bin.begin() + n)) && binOf(target) == before) << n;

    // Hostile counts and bytes, built on the form of a small frame with one requested image "A" (the
    // attribute and image readers' own refusals are their tests').
    Frame small;
    ktil::FlatImage<1> one;
    ASSERT_TRUE(one.resize(1, 1, 0));
    small.setImage("A", one.image(), Frame::kGray);
    small.setRequestedImages({"A"});
    const Bytes good = binOf(small);
    // Offsets from the end: u32 type mask, w, h, channels, one pixel, after the name "A" (6 bytes)
    // and before it the image count.
    const size_t countAt = good.size() - 17 - 6 - 4;
    const size_t nameAt = countAt + 4 + 4;
    const size_t includedAt = countAt - binOf(small.getRequestedImages()).size() - 1;
    auto patched = [&](size_t at, std::initializer_list<unsigned char> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + at);
        return b;
    };
    const struct { const char* what; Bytes bytes; } cases[] = {
        {"image count above the requested names", patched(countAt, {2, 0, 0, 0})},
        {"image count huge", patched(countAt, {0xFF, 0xFF, 0xFF, 0xFF})},
        {"image not requested", patched(nameAt, {'B'})},
        {"objects byte neither 0 nor 1", patched(includedAt, {2})},
        {"objects included but absent", patched(includedAt, {1})},
    };
    ASSERT_EQ(good[nameAt], 'A');
    for (const auto& c : cases) EXPECT_TRUE(fromBinRefused(target, c.bytes) && binOf(target) == before) << c.what;
}

TEST(Frame, AttributesImagesAndCopies) {
    Frame f;
    EXPECT_TRUE(f.getProcessFps() == -1.0 && f.getOrigin() == "" && !f.setOrigin("") && !f.hasAttribute("frame-origin"));
    f.setProcessFps(12.5);
    EXPECT_TRUE(f.getAttribute("processing-frame-rate") == "12.500000" && f.getProcessFps() == 12.5);
    f.setProcessFps(1e300);  // kept as a float
    EXPECT_FLOAT_EQ(static_cast<float>(f.getProcessFps()), 3.40282347e38f);

    EXPECT_TRUE(throwsEndingWith([&] { f.getMultiImage("Absent"); }, "Frame::getImage() - image type not set"));
    ktil::FlatImage<1> gray;
    ASSERT_TRUE(gray.resize(4, 2, 200));
    f.setImage("Mask", gray, Frame::kGray | Frame::kColour);
    EXPECT_TRUE(f.getMultiImage("Mask").getTypes() == 3u && f.isImageSet("Mask", Frame::kColour));
    EXPECT_TRUE(throwsEndingWith([&] { f.setImage("Mask", gray, 0); }, "JPEG, Flat Gray or Flat RGB type not set"));
    f.clearImage("Mask");
    EXPECT_TRUE(throwsLibraryException([&] { f.getMultiImage("Mask"); }));

    // setFrom copies all but the requested images and the objects flag.
    Frame source = fullFrame();
    f.setFrom(source);
    EXPECT_TRUE(f == source && f.getScale() == source.getScale() && f.getFrameFlags() == 0x101u);
    EXPECT_TRUE(f.getObjects().size() == 2u && f.imageNames() == source.imageNames());
    EXPECT_TRUE(f.getRequestedImages().empty() && !f.getObjectsIncluded());
}

TEST(Frame, MetadataTexts) {
    kttl::String out;
    const struct { Box box; int width, height; const char* expected; } boxes[] = {
        {Box(3, 4, 5, 7), 0, 480,
         "<BoundingBox left=\"3\" top=\"4\" right=\"8\" bottom=\"11\"/> <CenterOfGravity x=\"5\" y=\"7\"/>"},
        {Box(0, 0, 640, 240), 640, 480,
         "<BoundingBox left=\"-1\" top=\"-1\" right=\"1\" bottom=\"0\"/> <CenterOfGravity x=\"0\" y=\"-0.5\"/>"},
        {Box(-5, 100, 2000, 120), 640, 360,
         "<BoundingBox left=\"-1\" top=\"-0.444444\" right=\"1\" bottom=\"0.222222\"/> "
         "<CenterOfGravity x=\"0\" y=\"-0.111111\"/>"},
    };
    for (const auto& c : boxes) {
        Frame::createBBoxMetadata(c.box, c.width, c.height, out);
        EXPECT_EQ(out, c.expected);
    }

    EXPECT_EQ(Frame::createEmptyMetadata(), "<Frame UtcTimeMsec=\"0\"><Data></Data></Frame>");
    EXPECT_EQ(Frame::createClassXML(objectWith(1, Box(0, 0, 1, 1))), "");
    const Object classified = objectWith(7, Box(0, 0, 4, 2), {{"human", 0.75}, {"bicycle", 0.125}, {"VEHICLE", 0.5}});
    const std::string classes =
        "<Class><ClassCandidate> <Type>Vehicle</Type> <Likelihood>0.5</Likelihood> </ClassCandidate> "
        "<ClassCandidate> <Type>Other</Type> <Likelihood>0.125</Likelihood> </ClassCandidate> "
        "<ClassCandidate> <Type>Human</Type> <Likelihood>0.75</Likelihood> </ClassCandidate> "
        "<Extension><OtherTypes><Type>bicycle</Type><Likelihood>0.125</Likelihood></OtherTypes></Extension></Class>";
    EXPECT_EQ(Frame::createClassXML(classified), classes);

    ObjectMap objects;
    objects.addObject(classified);
    objects.addObject(objectWith(2, Box(1, 1, 2, 2)));
    Frame::createFrameMetadata(kttl::TimeStamp(1700000000, 42), objects, 0, 0, out);
    EXPECT_EQ(out,
              "<Frame UtcTimeMsec=\"1700000000042\"><Data>"
              "<Object ObjectId=\"2\"><Appearance> <Shape><BoundingBox left=\"1\" top=\"1\" right=\"3\" bottom=\"3\"/> "
              "<CenterOfGravity x=\"2\" y=\"2\"/></Shape> </Appearance> </Object> "
              "<Object ObjectId=\"7\"><Appearance> <Shape><BoundingBox left=\"0\" top=\"0\" right=\"4\" bottom=\"2\"/> "
              "<CenterOfGravity x=\"2\" y=\"1\"/></Shape> " +
                  classes + "</Appearance> </Object> </Data></Frame>");
}

// Requested images whose forms each fit a 32-bit length but together pass 4 GiB: the frame's
// length must be refused rather than wrapped short of what toBin() writes. Only shapes are read,
// so the gray records claim 65536 x 32768 without holding the bytes (and are restored after).
TEST(Frame, BinaryLengthRefusesImagesPastA32BitCount) {
    const uint64_t half = uint64_t(1) << 31;  // 65536 x 32768 gray bytes
    struct Case {
        int images;
        bool refused;
    } cases[] = {{1, false}, {2, true}};
    for (const Case& c : cases) {
        Frame f;
        ktil::FlatImage<1> gray;
        ASSERT_TRUE(gray.resize(2, 2));
        ktsl::Set<kttl::String> names;
        for (int i = 0; i < c.images; ++i) names.insert(kttl::String::format("Image %d", i));
        for (const auto& name : names) f.setImage(name, gray.image(), Frame::kGray);
        f.setRequestedImages(names);
        const unsigned small = f.getBinLength();
        std::vector<kt_image> saved;
        for (const auto& name : names) {
            kt_image* flat = f.getMultiImage(name).getFlat(Frame::kGray);
            saved.push_back(*flat);
            flat->width = 65536, flat->height = 32768, flat->size = uint32_t(half);
        }
        uint64_t length = 0;
        const std::string message = thrownMessage([&] { length = f.getBinLength(); });
        size_t i = 0;
        for (const auto& name : names) *f.getMultiImage(name).getFlat(Frame::kGray) = saved[i++];
        if (c.refused) {
            EXPECT_NE(message.find("Frame::getBinLength() - frame too large for its binary form"), std::string::npos)
                << message;
        } else {
            EXPECT_EQ(message, "");
            EXPECT_EQ(length, small + half - 4);
        }
    }
}
