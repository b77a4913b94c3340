// ktml::ColorHistogram: colour addressing of histogram bins and its binary form.
#include "ktml_ColorHistogram.h"

#include <cstring>

#include "kt_hsv.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace ktml {

namespace {
constexpr const char* kClass = "ktml::ColorHistogram";
// A channel byte has 8 bits: more bits per channel would shift by a negative amount.
constexpr uint32_t kMaxBits = 8;
}  // namespace

ColorHistogram::ColorHistogram() : Histogram(512) { initialize(); }

ColorHistogram::ColorHistogram(uint32_t l1, uint32_t l2, uint32_t l3) { setBins(l1, l2, l3); }

ColorHistogram::ColorHistogram(const kt_histogram& h) : Histogram(KT_HISTOGRAM_BINS) {
    m_bits[0] = m_bits[1] = m_bits[2] = 2;
    initialize();
    makeDense();
    std::memcpy(m_bins.get(), h.bins, sizeof(h.bins));
    m_total = h.total;
}

uint32_t ColorHistogram::levelBits(uint32_t levels) {
    if (levels < 1 || levels > 256) KT_THROW(kClass, "setBins(...) - level counts must be 1 to 256");
    uint32_t b = 0;
    while ((2u << b) <= levels) ++b;
    return b;
}

void ColorHistogram::setBins(uint32_t l1, uint32_t l2, uint32_t l3) {
    const uint32_t b1 = levelBits(l1), b2 = levelBits(l2), b3 = levelBits(l3);
    Histogram::setBins(l1 * l2 * l3);  // at most 2^24
    m_bits[0] = b1;
    m_bits[1] = b2;
    m_bits[2] = b3;
    initialize();
}

void ColorHistogram::ensureBins(uint32_t l1, uint32_t l2, uint32_t l3) {
    if (levelBits(l1) == m_bits[0] && levelBits(l2) == m_bits[1] && levelBits(l3) == m_bits[2]) return;
    setBins(l1, l2, l3);
}

void ColorHistogram::initialize() {
    for (int k = 0; k < 3; ++k) {
        m_masks[k] = (1u << m_bits[k]) - 1;
        m_shifts[k] = kMaxBits - m_bits[k];
    }
    m_offset3 = m_bits[0] + m_bits[1];
}

uint32_t ColorHistogram::getBin(uint8_t c1, uint8_t c2, uint8_t c3) const {
    return ((uint32_t(c1) >> m_shifts[0]) & m_masks[0]) | (((uint32_t(c2) >> m_shifts[1]) & m_masks[1]) << m_bits[0]) |
           (((uint32_t(c3) >> m_shifts[2]) & m_masks[2]) << m_offset3);
}

void ColorHistogram::addColor(uint8_t c1, uint8_t c2, uint8_t c3, uint32_t k) { incrementBin(getBin(c1, c2, c3), k); }

bool ColorHistogram::binToColor(uint32_t bin, uint32_t& packed) const {
    if (bin >= m_count) return false;
    const uint32_t offsets[3] = {0, m_bits[0], m_offset3};
    uint32_t out = 0;
    for (int k = 0; k < 3; ++k) {
        const uint32_t level = (bin >> offsets[k]) & m_masks[k];
        const uint32_t centre = (level << m_shifts[k]) + ((1u << m_shifts[k]) >> 1);
        out |= (centre > 255 ? 255 : centre) << (8 * k);
    }
    packed = out;
    return true;
}

bool ColorHistogram::binToHSV(uint32_t bin, float& h, float& s, float& v) const {
    uint32_t c;
    if (!binToColor(bin, c)) return false;
    return kt_rgb_to_hsv(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, &h, &s, &v) == 1;
}

bool ColorHistogram::operator==(const ColorHistogram& o) const {
    return Histogram::operator==(o) && std::memcmp(m_bits, o.m_bits, sizeof(m_bits)) == 0;
}

unsigned short ColorHistogram::getTypeId() const { return ktsl::TypeId::ColorHistogram; }

kttl::String ColorHistogram::getTypeName() const { return "ColorHistogram"; }

unsigned ColorHistogram::getBinLength() const { return Histogram::getBinLength() + 12; }

unsigned ColorHistogram::toBin(unsigned char* out) const {
    const unsigned n = Histogram::toBin(out);
    ktsl::BinWriter w(out + n);
    for (uint32_t b : m_bits) w.u32(b);
    return n + w.written();
}

unsigned ColorHistogram::fromBin(const unsigned char* in, unsigned length) {
    ColorHistogram tmp;
    const unsigned n = tmp.readSparse(in, length);
    ktsl::BinReader r(in + n, length - n);
    for (uint32_t& b : tmp.m_bits) {
        b = r.u32();
        if (b > kMaxBits) ktsl::Serializable::fromBinFailed();
    }
    tmp.initialize();
    Histogram::swap(tmp);
    std::memcpy(m_bits, tmp.m_bits, sizeof(m_bits));
    initialize();
    return n + r.consumed();
}

}  // namespace ktml
