// ktil::MultiImage: one picture in up to three representations: flat colour, flat gray, JPEG.
#include "ktil_MultiImage.h"

#include <cstring>
#include <utility>

#include "kt_image_scale.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace ktil {

namespace {

const char* const kClass = "ktil::MultiImage";

bool usable(const kt_image& image) {
    return kt_image_consistent(&image) == 1 && (image.channels == 1 || image.channels == 3 || image.channels == 4);
}

bool ensure(kt_image& image, uint32_t width, uint32_t height, uint32_t channels) {
    return kt_ensure_image(&image, width, height, channels) == 1 && image.data != nullptr;
}

// Integer luminance of a blue-green-red pixel.
inline unsigned char luminance(const unsigned char* p) {
    return static_cast<unsigned char>((30 * p[2] + 59 * p[1] + 11 * p[0]) / 100);
}

// Summed in 64 bits: a record near 4 GiB plus its 12-byte shape would wrap an unsigned.
uint64_t flatBinLength(const kt_image& image) { return 12 + uint64_t(image.size); }

void flatToBin(const kt_image& image, ktsl::BinWriter& w) {
    w.u32(image.width);
    w.u32(image.height);
    w.u32(image.channels);
    w.bytes(image.data, image.size);
}

void flatFromBin(ktsl::BinReader& r, bool colour, kt_image& image) {
    const uint32_t width = r.u32(), height = r.u32(), channels = r.u32();
    uint32_t size = 0;
    if ((colour ? (channels != 3 && channels != 4) : channels != 1) ||
        kt_image_bytes(width, height, channels, &size) != 1 || size == 0) {
        ktsl::Serializable::fromBinFailed();
    }
    r.need(size);  // before allocating: the length must be in the input
    if (!ensure(image, width, height, channels)) ktsl::Serializable::fromBinFailed();
    std::memcpy(image.data, r.bytes(size), size);
}

}  // namespace

MultiImage::MultiImage(const MultiImage& other) : m_jpeg(other.m_jpeg) {
    if ((other.m_types & kColour) != 0) copyFlat(other.m_colour, m_colour);
    if ((other.m_types & kGray) != 0) copyFlat(other.m_gray, m_gray);
    m_types = other.m_types;
}

MultiImage& MultiImage::operator=(const MultiImage& other) {
    if (this == &other) return *this;
    m_types = 0;
    if ((other.m_types & kColour) != 0) copyFlat(other.m_colour, m_colour);
    if ((other.m_types & kGray) != 0) copyFlat(other.m_gray, m_gray);
    if ((other.m_types & kJpeg) != 0) m_jpeg = other.m_jpeg;
    m_types = other.m_types;
    return *this;
}

MultiImage::~MultiImage() {
    kt_free_image(&m_colour);
    kt_free_image(&m_gray);
}

void MultiImage::swap(MultiImage& other) noexcept {
    std::swap(m_types, other.m_types);
    std::swap(m_colour, other.m_colour);
    std::swap(m_gray, other.m_gray);
    std::swap(m_jpeg, other.m_jpeg);
}

unsigned MultiImage::getWidth() const {
    if ((m_types & kColour) != 0) return m_colour.width;
    if ((m_types & kGray) != 0) return m_gray.width;
    return (m_types & kJpeg) != 0 ? m_jpeg.getWidth() : 0;
}

unsigned MultiImage::getHeight() const {
    if ((m_types & kColour) != 0) return m_colour.height;
    if ((m_types & kGray) != 0) return m_gray.height;
    return (m_types & kJpeg) != 0 ? m_jpeg.getHeight() : 0;
}

const kt_image* MultiImage::getFlat(unsigned type) const {
    if (type == kColour && (m_types & kColour) != 0) return &m_colour;
    if (type == kGray && (m_types & kGray) != 0) return &m_gray;
    return nullptr;
}

kt_image* MultiImage::getFlat(unsigned type) {
    return const_cast<kt_image*>(static_cast<const MultiImage*>(this)->getFlat(type));
}

void MultiImage::copyFlat(const kt_image& source, kt_image& destination) {
    if (!ensure(destination, source.width, source.height, source.channels)) {
        KT_THROW(kClass, "assign() - unable to allocate the image");
    }
    std::memcpy(destination.data, source.data, source.size);
}

void MultiImage::assign(const kt_image& image, unsigned types) {
    types &= kAllTypes;
    if (types == 0) KT_THROW(kClass, "JPEG, Flat Gray or Flat RGB type not set");
    if (!usable(image)) KT_THROW(kClass, "assign() - invalid image");
    m_types = 0;
    const unsigned own = image.channels == 1 ? kGray : kColour;
    copyFlat(image, own == kGray ? m_gray : m_colour);
    m_types = own;
    try {
        deriveFrom(types);
    } catch (...) {
        m_types = 0;
        throw;
    }
    m_types = types;
}

void MultiImage::assign(const ImageBase& image, unsigned types) {
    if (const kt_image* flat = image.getFlat()) {
        assign(*flat, types);
        return;
    }
    types &= kAllTypes;
    if (types == 0) KT_THROW(kClass, "JPEG, Flat Gray or Flat RGB type not set");
    const ImageJPEG* jpeg = image.getJPEG();
    if (jpeg == nullptr || jpeg->getLength() == 0) KT_THROW(kClass, "assign() - invalid image");
    m_types = 0;
    m_jpeg = *jpeg;
    m_types = kJpeg;
    try {
        deriveFrom(types);
    } catch (...) {
        m_types = 0;
        throw;
    }
    m_types = types;
}

void MultiImage::assignBGRY(const kt_image& image) {
    if (image.channels != 4 || !usable(image)) KT_THROW(kClass, "assignBGRY() - image is not four-channel");
    m_types = 0;
    copyFlat(image, m_colour);
    if (!ensure(m_gray, image.width, image.height, 1)) KT_THROW(kClass, "assignBGRY() - unable to allocate the image");
    const unsigned char* p = image.data + 3;
    for (uint32_t i = 0; i < m_gray.size; ++i, p += 4) m_gray.data[i] = *p;
    m_types = kColour | kGray;
}

void MultiImage::swapIn(kt_image& image, unsigned types) {
    types &= kAllTypes;
    if (types == 0) KT_THROW(kClass, "JPEG, Flat Gray or Flat RGB type not set");
    if (!usable(image)) KT_THROW(kClass, "swapIn() - invalid image");
    const unsigned own = image.channels == 1 ? kGray : kColour;
    std::swap(image, own == kGray ? m_gray : m_colour);
    m_types = own;
    try {
        deriveFrom(types);
    } catch (...) {
        m_types = 0;
        throw;
    }
    m_types = types;
}

void MultiImage::addTypes(unsigned types) {
    if (m_types == 0) KT_THROW(kClass, "addTypes() - the image is empty");
    deriveFrom(types & kAllTypes);
}

// Adds the missing representations of `types` to m_types one by one, so a failure leaves the
// present ones valid.
void MultiImage::deriveFrom(unsigned types) {
    if ((types & kGray) != 0 && (m_types & kGray) == 0) {
        if ((m_types & kColour) != 0) {
            if (!ensure(m_gray, m_colour.width, m_colour.height, 1)) KT_THROW(kClass, "addTypes() - unable to allocate the image");
            const unsigned char* p = m_colour.data;
            for (uint32_t i = 0; i < m_gray.size; ++i, p += m_colour.channels) m_gray.data[i] = luminance(p);
        } else if (!m_jpeg.decode(m_gray, 1)) {
            KT_THROW(kClass, "addTypes() - JPEG data could not be decoded");
        }
        m_types |= kGray;
    }
    if ((types & kColour) != 0 && (m_types & kColour) == 0) {
        if ((m_types & kGray) != 0) {
            if (!ensure(m_colour, m_gray.width, m_gray.height, 4)) KT_THROW(kClass, "addTypes() - unable to allocate the image");
            for (uint32_t i = 0; i < m_gray.size; ++i) std::memset(m_colour.data + 4 * i, m_gray.data[i], 4);
        } else if (!m_jpeg.decode(m_colour, 4)) {
            KT_THROW(kClass, "addTypes() - JPEG data could not be decoded");
        }
        m_types |= kColour;
    }
    if ((types & kJpeg) != 0 && (m_types & kJpeg) == 0) {
        if (!m_jpeg.encode((m_types & kColour) != 0 ? m_colour : m_gray)) KT_THROW(kClass, "addTypes() - JPEG encoding failed");
        m_types |= kJpeg;
    }
}

void MultiImage::grow() {
    if (m_types == 0) return;
    const unsigned original = m_types;
    if ((m_types & (kColour | kGray)) == 0) deriveFrom(m_jpeg.getChannels() == 1 ? kGray : kColour);
    kt_image grown{};
    for (kt_image* flat : {&m_colour, &m_gray}) {
        if (getFlat(flat == &m_colour ? kColour : kGray) == nullptr) continue;
        if (kt_grow_image(flat, &grown) != 1 || grown.data == nullptr) {
            kt_free_image(&grown);
            KT_THROW(kClass, "grow() - unable to allocate the image");
        }
        std::swap(*flat, grown);
    }
    kt_free_image(&grown);
    if ((original & kJpeg) != 0) {
        m_types &= ~kJpeg;
        deriveFrom(kJpeg);
    }
    m_types = original;
}

unsigned MultiImage::getBinLength() const {
    uint64_t n = 4;
    if ((m_types & kColour) != 0) n += flatBinLength(m_colour);
    if ((m_types & kGray) != 0) n += flatBinLength(m_gray);
    if ((m_types & kJpeg) != 0) n += 4 + uint64_t(m_jpeg.getLength());
    // A wrapped length would size the caller's buffer short of what toBin() writes.
    if (n > UINT32_MAX) KT_THROW(kClass, "getBinLength() - image too large for its binary form");
    return static_cast<unsigned>(n);
}

unsigned MultiImage::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.u32(m_types);
    if ((m_types & kColour) != 0) flatToBin(m_colour, w);
    if ((m_types & kGray) != 0) flatToBin(m_gray, w);
    if ((m_types & kJpeg) != 0) {
        w.u32(static_cast<uint32_t>(m_jpeg.getLength()));
        w.bytes(m_jpeg.getData().data(), static_cast<unsigned>(m_jpeg.getLength()));
    }
    return w.written();
}

unsigned MultiImage::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const uint32_t types = r.u32();
    if ((types & ~kAllTypes) != 0) ktsl::Serializable::fromBinFailed();
    MultiImage read;
    if ((types & kColour) != 0) flatFromBin(r, true, read.m_colour);
    if ((types & kGray) != 0) flatFromBin(r, false, read.m_gray);
    if ((types & kJpeg) != 0) {
        const uint32_t n = r.u32();
        r.need(n);
        if (!read.m_jpeg.setData(r.bytes(n), n)) ktsl::Serializable::fromBinFailed();
    }
    read.m_types = types;
    // Every representation is the same picture.
    const unsigned width = read.getWidth(), height = read.getHeight();
    if (((types & kGray) != 0 && (read.m_gray.width != width || read.m_gray.height != height)) ||
        ((types & kJpeg) != 0 && (read.m_jpeg.getWidth() != width || read.m_jpeg.getHeight() != height))) {
        ktsl::Serializable::fromBinFailed();
    }
    swap(read);
    return r.consumed();
}

}  // namespace ktil
