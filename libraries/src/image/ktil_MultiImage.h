// ktil::MultiImage: one picture in up to three representations: flat colour, flat gray, JPEG.
#pragma once

#include "kt_image.h"
#include "ktil_ImageJPEG.h"

namespace ktil {

// The type mask says which representations are present: kColour (blue-green-red, three or four
// bytes per pixel; a four-byte one carries 0, alpha or luminance in its fourth byte), kGray (one
// byte per pixel) and kJpeg. Clearing keeps the buffers, so an entry refilled with pictures of one
// size allocates nothing after the first. Failures throw kttl::Exception; the entry is then empty.
class MultiImage {
public:
    static const unsigned kColour = 1;
    static const unsigned kGray = 2;
    static const unsigned kJpeg = 4;
    static const unsigned kAllTypes = kColour | kGray | kJpeg;

    MultiImage() = default;
    MultiImage(const MultiImage& other);
    MultiImage& operator=(const MultiImage& other);
    ~MultiImage();

    unsigned getTypes() const { return m_types; }
    bool isEmpty() const { return m_types == 0; }
    // Width and height of the picture (0 when empty).
    unsigned getWidth() const;
    unsigned getHeight() const;

    // Stores `image` (one channel as gray, three or four as colour) and derives every other
    // representation `types` asks for: gray from colour as the luminance (30 R + 59 G + 11 B) / 100,
    // colour from gray as a four-byte image whose every byte is the gray value, JPEG by encoding.
    // Throws "JPEG, Flat Gray or Flat RGB type not set" for a mask without any of the three bits.
    void assign(const kt_image& image, unsigned types);
    // The same from any image object: a flat one as above, a JPEG one is copied and decoded for the
    // flat representations asked for.
    void assign(const ImageBase& image, unsigned types);
    // A four-byte blue-green-red-luminance image: colour is the image, gray its fourth bytes (mask 3).
    void assignBGRY(const kt_image& image);
    // Exchanges the caller's consistent record with the matching representation (colour for three
    // or four channels, gray for one) instead of copying, then derives as assign does.
    void swapIn(kt_image& image, unsigned types);
    // Derives the representations of `types` that are missing from those present. Throws when
    // the entry is empty or a derivation fails.
    void addTypes(unsigned types);
    // Doubles width and height of every representation (pixel repetition; JPEG re-encoded).
    void grow();
    // Forgets the content; buffers are kept for the next picture.
    void clear() { m_types = 0; }

    // The flat representation kColour or kGray, or null when it is not present.
    const kt_image* getFlat(unsigned type) const;
    kt_image* getFlat(unsigned type);
    // The JPEG representation, or null when it is not present.
    const ImageJPEG* getJPEG() const { return (m_types & kJpeg) != 0 ? &m_jpeg : nullptr; }

    // Binary form: u32 type mask, then per present representation in bit order: flat ones as u32
    // width, height, channels and the pixel bytes, JPEG as u32 byte count and the bytes.
    unsigned getBinLength() const;
    unsigned toBin(unsigned char* out) const;
    // Reads untrusted input: every length is checked against the remaining bytes before anything is
    // allocated, and shapes must agree across representations. Throws the plain fromBin failure,
    // the entry unchanged, on anything inconsistent; returns the bytes consumed.
    unsigned fromBin(const unsigned char* in, unsigned length);

    void swap(MultiImage& other) noexcept;

private:
    void deriveFrom(unsigned types);
    void copyFlat(const kt_image& source, kt_image& destination);

    unsigned m_types = 0;
    kt_image m_colour{};
    kt_image m_gray{};
    ImageJPEG m_jpeg;
};

}  // namespace ktil
