// ktvl::Resolution: a frame size (width x height) as a serializable value (id 815, "Resolution").
#pragma once

#include "kttl_Integer.h"
#include "kttl_String.h"

namespace ktvl {

// Binary form: width and height, each 4 bytes little-endian (8 bytes).
// XML form: <tag><width>W</width><height>H</height></tag>; reading also takes the text forms below.
// Text forms (fromString): "W x H" (blanks around the "x" optional) or a name, any case: QCIF
// 176x144, CIF 352x288, 4CIF 704x576, 720p 1280x720, 1080p 1920x1080. String form: "WxH".
class Resolution : public ktsl::Serializable {
public:
    Resolution(int32_t width = 0, int32_t height = 0) : m_width(width), m_height(height) {}
    ~Resolution() override;

    int32_t getWidth() const { return m_width; }
    int32_t getHeight() const { return m_height; }
    void set(int32_t width, int32_t height) {
        m_width = width;
        m_height = height;
    }

    // Reads a text form; false (value unchanged) for anything else. After the "W x H" pattern any
    // further text is ignored ("320x240 at 30fps" is 320x240).
    bool fromString(const kttl::String& text);
    // "WxH".
    kttl::String toString() const;

    // The smallest size that covers both: the larger width and the larger height.
    static Resolution getMax(const Resolution& a, const Resolution& b);

    bool operator==(const Resolution& o) const { return m_width == o.m_width && m_height == o.m_height; }
    bool operator!=(const Resolution& o) const { return !(*this == o); }
    // Orders by width, then height.
    bool operator<(const Resolution& o) const {
        return m_width != o.m_width ? m_width < o.m_width : m_height < o.m_height;
    }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::Resolution; }
    kttl::String getTypeName() const override { return "Resolution"; }
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override { return 8; }
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    kttl::Integer m_width;
    kttl::Integer m_height;
};

}  // namespace ktvl
