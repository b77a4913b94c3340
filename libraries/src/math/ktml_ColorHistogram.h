// ktml::ColorHistogram: a Histogram whose bins are addressed by a colour quantised to a few bits per
// channel (channel 1 in the lowest bits). Objects carry one as their colour distribution.
#pragma once

#include <cstdint>

#include "kt_histogram.h"
#include "ktml_Histogram.h"

namespace ktml {

class ColorHistogram : public Histogram {
public:
    // 3 bits per channel: 512 bins.
    ColorHistogram();
    // floor(log2 lk) bits per channel, l1 x l2 x l3 bins. Level counts must be 1..256.
    ColorHistogram(uint32_t l1, uint32_t l2, uint32_t l3);
    // The 64 bins of the detection core's histogram: 2 bits per channel, counts and total copied.
    explicit ColorHistogram(const kt_histogram& h);

    // Store the bits of the level counts and resize to l1 x l2 x l3 zeroed bins; ensureBins does
    // nothing when the bits are unchanged. Both also refresh the derived masks and shifts, so the
    // histogram is never left addressing bins by stale values. Level counts must be 1..256.
    void setBins(uint32_t l1, uint32_t l2, uint32_t l3);
    void ensureBins(uint32_t l1, uint32_t l2, uint32_t l3);
    // Derives masks (2^bk - 1), shifts (8 - bk) and the third channel's offset (b1 + b2) from the bits.
    void initialize();

    uint32_t bits(int channel) const { return channel >= 0 && channel < 3 ? m_bits[channel] : 0; }

    // Bin of a colour: (c1 >> s1) & m1 | ((c2 >> s2) & m2) << b1 | ((c3 >> s3) & m3) << (b1 + b2).
    uint32_t getBin(uint8_t c1, uint8_t c2, uint8_t c3) const;
    // incrementBin(getBin(c1, c2, c3), k).
    void addColor(uint8_t c1, uint8_t c2, uint8_t c3, uint32_t k = 1);
    using Histogram::getValue;
    float getValue(uint8_t c1, uint8_t c2, uint8_t c3) const { return getValue(getBin(c1, c2, c3)); }
    // Colour at the centre of the bin: channel 1 in bits 0..7, channel 2 in 8..15, channel 3 in
    // 16..23. False (packed untouched) for a bin at or beyond the bin count.
    bool binToColor(uint32_t bin, uint32_t& packed) const;
    // binToColor, then the hue (degrees), saturation and value of channels 1, 2, 3 taken as red,
    // green, blue. False for a bad bin.
    bool binToHSV(uint32_t bin, float& h, float& s, float& v) const;

    bool operator==(const ColorHistogram& o) const;
    bool operator!=(const ColorHistogram& o) const { return !(*this == o); }

    // ktsl::Serializable: the Histogram form followed by b1, b2, b3 (u32 each).
    unsigned short getTypeId() const override;
    kttl::String getTypeName() const override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    static uint32_t levelBits(uint32_t levels);

    uint32_t m_bits[3] = {3, 3, 3};
    uint32_t m_masks[3] = {7, 7, 7};
    uint32_t m_shifts[3] = {5, 5, 5};
    uint32_t m_offset3 = 6;
};

}  // namespace ktml
