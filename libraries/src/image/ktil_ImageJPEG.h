// ktil::ImageJPEG: a picture held as JPEG bytes, encoded and decoded through libjpeg.
#pragma once

#include <cstddef>
#include <vector>

#include "ktil_ImageBase.h"

namespace ktil {

// Every libjpeg error returns to the caller as a false result (the library's own handler would end
// the process), and decoded sizes are bounded before anything is allocated, so corrupt or hostile
// bytes cost at most one bounded buffer.
class ImageJPEG : public ImageBase {
public:
    // Largest side accepted from a header; larger pictures are refused before decoding.
    static const unsigned kMaxSide = 16384;
    static const int kDefaultQuality = 85;

    // Encodes a consistent gray (1), blue-green-red (3) or blue-green-red-fourth (4, fourth byte
    // ignored) image. False, content unchanged, for other inputs or an encoder error.
    bool encode(const kt_image& image, int quality = kDefaultQuality);
    // Takes a copy of JPEG bytes once their header reads: false (content unchanged) when it does not,
    // when a side is 0 or above kMaxSide, when the header announces more pixels than the bytes can
    // hold (over 512 per byte: a truncated or hostile file), or when the picture is neither gray nor three-component colour.
    bool setData(const unsigned char* bytes, size_t length);
    // Decodes into `out` as gray (channels 1), blue-green-red (3) or blue-green-red and a zero fourth
    // byte (4). False, `out` unchanged, for another channel count, an empty image, or data that is
    // corrupt or truncated (libjpeg warnings count as failure).
    bool decode(kt_image& out, unsigned channels) const;
    void clear();

    const std::vector<unsigned char>& getData() const { return m_bytes; }
    size_t getLength() const { return m_bytes.size(); }

    unsigned getWidth() const override { return m_width; }
    unsigned getHeight() const override { return m_height; }
    // Colour components of the picture: 1 or 3 (0 when empty).
    unsigned getChannels() const override { return m_components; }
    const ImageJPEG* getJPEG() const override { return this; }

private:
    std::vector<unsigned char> m_bytes;
    unsigned m_width = 0;
    unsigned m_height = 0;
    unsigned m_components = 0;
};

}  // namespace ktil
