// Frame: one video frame as the system sees it: time, position, tracked objects, named images and
// string attributes.
#include "Frame.h"

#include <cstring>

#include "kttl_Exception.h"

namespace {

// Makes `dst` a copy of `src` (same shape), keeping dst's buffer when the shape is unchanged.
void copyImage(const kt_image& src, kt_image& dst) {
    if (kt_ensure_image(&dst, src.width, src.height, src.channels) != 1 || (src.size != 0 && dst.data == nullptr)) {
        KT_THROW("Frame", "setImage() - unable to allocate the image");
    }
    if (src.size != 0) std::memcpy(dst.data, src.data, src.size);
}

bool usable(const kt_image& image) {
    return kt_image_consistent(&image) == 1 && (image.channels == 1 || image.channels == 3 || image.channels == 4);
}

}  // namespace

FrameImage::FrameImage(const FrameImage& other) : types(other.types) {
    if (other.colour.data != nullptr) copyImage(other.colour, colour);
    if (other.gray.data != nullptr) copyImage(other.gray, gray);
}

FrameImage& FrameImage::operator=(const FrameImage& other) {
    if (this != &other) {
        types = other.types;
        if (other.colour.data != nullptr) {
            copyImage(other.colour, colour);
        } else {
            kt_free_image(&colour);
        }
        if (other.gray.data != nullptr) {
            copyImage(other.gray, gray);
        } else {
            kt_free_image(&gray);
        }
    }
    return *this;
}

FrameImage::~FrameImage() {
    kt_free_image(&colour);
    kt_free_image(&gray);
}

const kt_image* FrameImage::get(unsigned type) const {
    if (type == Frame::kColour && (types & Frame::kColour) != 0) return &colour;
    if (type == Frame::kGray && (types & Frame::kGray) != 0) return &gray;
    return nullptr;
}

Frame::Frame() = default;

Frame::~Frame() = default;

void Frame::setTimePosition(const kttl::TimeStamp& stamp, const kttl::ElapsedTime& position) {
    m_timeStamp = stamp;
    m_position = position;
}

bool Frame::getNativeResolution(ktvl::Resolution& resolution) const {
    kttl::String text;
    if (!getAttribute("native-resolution", text)) return false;
    return resolution.fromString(text);
}

FrameImage& Frame::entry(const kttl::String& name) { return m_images[name]; }

void Frame::setImage(const kttl::String& name, const kt_image& image, unsigned types) {
    if ((types & (kColour | kGray)) == 0) KT_THROW("Frame", "setImage() - JPEG, Flat Gray or Flat RGB type not set");
    if (!usable(image)) KT_THROW("Frame", "setImage() - invalid image");
    FrameImage& e = entry(name);
    if (image.channels == 1) {
        copyImage(image, e.gray);
        e.types = types;
        return;
    }
    copyImage(image, e.colour);
    if ((types & kGray) != 0) {
        if (kt_ensure_image(&e.gray, image.width, image.height, 1) != 1 || e.gray.data == nullptr) {
            KT_THROW("Frame", "setImage() - unable to allocate the image");
        }
        const unsigned char* p = image.data;
        const size_t pixels = static_cast<size_t>(image.width) * image.height;
        for (size_t i = 0; i < pixels; ++i, p += image.channels) {
            e.gray.data[i] = image.channels == 4
                                 ? p[3]
                                 : static_cast<unsigned char>((30 * p[0] + 59 * p[1] + 11 * p[2]) / 100);
        }
    }
    e.types = types;
}

const kt_image* Frame::getImage(const kttl::String& name, unsigned type) const {
    auto it = m_images.find(name);
    return it == m_images.end() ? nullptr : it->second.get(type);
}

bool Frame::isImageSet(const kttl::String& name, unsigned types) const {
    auto it = m_images.find(name);
    if (it == m_images.end() || it->second.types == 0) return false;
    return (it->second.types & types) == types;
}

void Frame::clearImage(const kttl::String& name) {
    auto it = m_images.find(name);
    if (it != m_images.end()) it->second.types = 0;
}

void Frame::clearImages() {
    for (auto& image : m_images) image.second.types = 0;
}

ktsl::Set<kttl::String> Frame::imageNames() const {
    ktsl::Set<kttl::String> names;
    for (const auto& image : m_images) {
        if (image.second.types != 0) names.insert(image.first);
    }
    return names;
}

void Frame::clear() {
    m_timeStamp = kttl::TimeStamp();
    m_position = kttl::ElapsedTime();
    m_objects.clear();
    clearImages();
    m_scale = 1.0;
    m_flags = 0;
    clearAttributes();
}

bool Frame::operator==(const Frame& other) const {
    return m_timeStamp == other.m_timeStamp && getAttribute("frame-origin") == other.getAttribute("frame-origin");
}

bool Frame::operator<(const Frame& other) const {
    if (!(m_timeStamp == other.m_timeStamp)) return m_timeStamp < other.m_timeStamp;
    return getAttribute("frame-origin") < other.getAttribute("frame-origin");
}

kttl::String Frame::toXML(const char*) const { KT_THROW("Frame", "toXML() - not implemented"); }

bool Frame::fromXML(const char*) { KT_THROW("Frame", "fromXML() - not implemented"); }

unsigned Frame::getBinLength() const { KT_THROW("Frame", "getBinLength() - binary form not available"); }

unsigned Frame::toBin(unsigned char*) const { KT_THROW("Frame", "toBin() - binary form not available"); }

unsigned Frame::fromBin(const unsigned char*, unsigned) { KT_THROW("Frame", "fromBin() - binary form not available"); }
