// ktml::Histogram: counts, normalised reads, distances, blending and the sparse binary form.
#include "ktml_Histogram.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace ktml {

namespace {

constexpr const char* kClass = "ktml::Histogram";
// Added to pa + pb in the chi-square distance so two empty bins never divide by zero.
constexpr double kChiSquareEpsilon = 1.1920929e-7;
// One sparse entry: u16 index, u32 value.
constexpr unsigned kEntrySize = 6;
constexpr unsigned kHeaderSize = 8;

uint32_t satAdd(uint32_t a, uint32_t b) { return a > UINT32_MAX - b ? UINT32_MAX : a + b; }

// round(v) half up, clamped to 0..UINT32_MAX.
uint32_t roundClamp(double v) {
    const double r = std::floor(v + 0.5);
    if (!(r > 0)) return 0;
    if (r >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(r);
}

}  // namespace

Histogram::Histogram(uint32_t count) { setBins(count); }

Histogram::Histogram(const Histogram& o) : m_count(o.m_count), m_total(o.m_total) {
    if (m_count) {
        m_bins.reset(new uint32_t[m_count]);
        std::memcpy(m_bins.get(), o.m_bins.get(), sizeof(uint32_t) * m_count);
    }
}

Histogram::Histogram(Histogram&& o) noexcept
    : m_bins(std::move(o.m_bins)), m_count(o.m_count), m_total(o.m_total) {
    o.m_count = 0;
    o.m_total = 0;
}

Histogram& Histogram::operator=(const Histogram& o) {
    if (this == &o) return *this;
    if (m_count == o.m_count) {
        // Objects copy their histogram every frame: keep the buffer when the shape is unchanged.
        if (m_count) std::memcpy(m_bins.get(), o.m_bins.get(), sizeof(uint32_t) * m_count);
        m_total = o.m_total;
        return *this;
    }
    Histogram tmp(o);
    swap(tmp);
    return *this;
}

Histogram& Histogram::operator=(Histogram&& o) noexcept {
    Histogram tmp(std::move(o));
    swap(tmp);
    return *this;
}

Histogram::~Histogram() = default;

void Histogram::swap(Histogram& o) noexcept {
    m_bins.swap(o.m_bins);
    std::swap(m_count, o.m_count);
    std::swap(m_total, o.m_total);
}

void Histogram::setBins(uint32_t count) {
    std::unique_ptr<uint32_t[]> bins(count ? new uint32_t[count]() : nullptr);
    m_bins = std::move(bins);
    m_count = count;
    m_total = 0;
}

void Histogram::clear() {
    if (m_count) std::memset(m_bins.get(), 0, sizeof(uint32_t) * m_count);
    m_total = 0;
}

void Histogram::incrementBin(uint32_t i, uint32_t k) {
    if (!m_bins) KT_THROW(kClass, "incrementBin(...) - histogram points to no data");
    if (i >= m_count) KT_THROW(kClass, "incrementBin(...) - invalid bin index ");
    m_bins[i] = satAdd(m_bins[i], k);
    m_total = satAdd(m_total, k);
}

void Histogram::addValue(float v, uint32_t k) {
    if (!(v >= 0.0f && v < 1.0f)) KT_THROW(kClass, "at(...) - floating pt channel value(s) >= 1 or < 0");
    if (!m_bins) KT_THROW(kClass, "at(...) - histogram points to no data");
    uint32_t i = static_cast<uint32_t>(static_cast<double>(m_count) * v);
    if (i >= m_count) i = m_count - 1;  // v just below 1 rounded up by the product
    incrementBin(i, k);
}

float Histogram::getValue(uint32_t i) const {
    if (i >= m_count) KT_THROW(kClass, "getValue(...) - index out of bounds");
    return m_total ? static_cast<float>(m_bins[i]) / static_cast<float>(m_total) : 0.0f;
}

void Histogram::getBinValues(std::multimap<uint32_t, uint32_t>& out) const {
    for (uint32_t i = 0; i < m_count; ++i) out.insert(std::make_pair(m_bins[i], i));
}

uint32_t Histogram::nonZeroBins(uint32_t& n) const {
    n = 0;
    for (uint32_t i = 0; i < m_count; ++i)
        if (m_bins[i]) ++n;
    return n;
}

uint32_t Histogram::getMaxBin() const {
    if (!m_bins) KT_THROW(kClass, "getMaxBin(...) - histogram is NULL");
    if (m_count < 2) return 0;
    uint32_t best = 0;
    for (uint32_t i = 1; i < m_count; ++i)
        if (m_bins[i] > m_bins[best]) best = i;
    return best;
}

float Histogram::inUsePercent() const {
    if (!m_count) return 0.0f;
    return static_cast<float>(nonZeroBins()) / static_cast<float>(m_count);
}

double Histogram::distanceTo(const Histogram& other, int method) const {
    if (m_count != other.m_count) KT_THROW(kClass, "distanceTo(...) - histogram dimensions are not the same");
    double sum = 0.0;
    if (method == 0) {
        for (uint32_t i = 0; i < m_count; ++i) sum += std::fabs(double(getValue(i)) - double(other.getValue(i)));
    } else if (method == 1) {
        for (uint32_t i = 0; i < m_count; ++i) {
            const double pa = getValue(i), pb = other.getValue(i);
            sum += (pa - pb) * (pa - pb) / (pa + pb + kChiSquareEpsilon);
        }
    } else {
        return 0.0;
    }
    return 0.5 * sum;
}

double Histogram::intersectionWith(const Histogram& other) const {
    if (m_count != other.m_count)
        KT_THROW(kClass, "intersectionWith(...) - histogram dimensions are not the same");
    double sum = 0.0;
    for (uint32_t i = 0; i < m_count; ++i) sum += std::min(getValue(i), other.getValue(i));
    return sum;
}

void Histogram::average(const Histogram& other, float w) {
    if (!(w >= 0.0f && w < 1.0f)) KT_THROW(kClass, "average(...) - weight value(s) >= 1 or < 0");
    if (!m_bins || !other.m_bins) KT_THROW(kClass, "average(...) - histogram points to no data");
    if (m_count != other.m_count) KT_THROW(kClass, "operator+(...) - histogram dimensions are not the same");
    const double keep = 1.0 - static_cast<double>(w), take = static_cast<double>(w);
    uint32_t total = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        m_bins[i] = satAdd(roundClamp(m_bins[i] * keep), roundClamp(other.m_bins[i] * take));
        total = satAdd(total, m_bins[i]);
    }
    m_total = total;
}

void Histogram::exclude(Histogram& other) {
    if (m_count != other.m_count) KT_THROW(kClass, "exclude(...) - histogram dimensions are not the same");
    for (uint32_t i = 0; i < m_count; ++i) {
        const uint32_t a = m_bins[i], b = other.m_bins[i];
        const uint32_t a2 = a > b ? a - b : 0;
        other.m_bins[i] = b > a2 ? b - a2 : 0;
        m_bins[i] = a2;
    }
    recomputeTotal();
    other.recomputeTotal();
}

Histogram Histogram::operator+(const Histogram& other) const {
    Histogram sum(*this);
    sum += other;
    return sum;
}

Histogram& Histogram::operator+=(const Histogram& other) {
    if (m_count != other.m_count) KT_THROW(kClass, "operator+(...) - histogram dimensions are not the same");
    for (uint32_t i = 0; i < m_count; ++i) m_bins[i] = satAdd(m_bins[i], other.m_bins[i]);
    m_total = satAdd(m_total, other.m_total);
    return *this;
}

Histogram Histogram::operator-(const Histogram& other) const {
    Histogram diff(*this);
    diff -= other;
    return diff;
}

Histogram& Histogram::operator-=(const Histogram& other) {
    if (m_count != other.m_count) KT_THROW(kClass, "operator-=(...) - histogram dimensions are not the same");
    if (m_total < other.m_total) KT_THROW(kClass, "operator-(...) - lhs histogram has less values that rhs");
    if (m_total == other.m_total) {
        clear();
        return *this;
    }
    bool floored = false;
    for (uint32_t i = 0; i < m_count; ++i) {
        if (m_bins[i] < other.m_bins[i]) floored = true;
        m_bins[i] = m_bins[i] > other.m_bins[i] ? m_bins[i] - other.m_bins[i] : 0;
    }
    // A bin that would go below zero keeps the bins and the total consistent instead of wrapping.
    if (floored) recomputeTotal();
    else m_total -= other.m_total;
    return *this;
}

bool Histogram::operator==(const Histogram& o) const {
    if (m_count != o.m_count || m_total != o.m_total) return false;
    return m_count == 0 || std::memcmp(m_bins.get(), o.m_bins.get(), sizeof(uint32_t) * m_count) == 0;
}

void Histogram::recomputeTotal() {
    uint32_t total = 0;
    for (uint32_t i = 0; i < m_count; ++i) total = satAdd(total, m_bins[i]);
    m_total = total;
}

unsigned short Histogram::getTypeId() const { return ktsl::TypeId::Histogram; }

kttl::String Histogram::getTypeName() const { return "Histogram"; }

kttl::String Histogram::toXML(const char*) const { KT_THROW(kClass, "Histogram::toXML( ) - not implemented"); }

bool Histogram::fromXML(const char*) { KT_THROW(kClass, "Histrogram::fromXML( ) - not implemented"); }

unsigned Histogram::getBinLength() const {
    if (m_count > kMaxBinBins) KT_THROW(kClass, "getBinLength( ) - too many bins for a 16-bit index");
    return kHeaderSize + nonZeroBins() * kEntrySize;
}

unsigned Histogram::toBin(unsigned char* out) const {
    if (m_count > kMaxBinBins) KT_THROW(kClass, "toBin( ) - too many bins for a 16-bit index");
    ktsl::BinWriter w(out);
    w.u32(m_count);
    w.u32(nonZeroBins());
    for (uint32_t i = 0; i < m_count; ++i) {
        if (!m_bins[i]) continue;
        w.u16(static_cast<uint16_t>(i));
        w.u32(m_bins[i]);
    }
    return w.written();
}

unsigned Histogram::readSparse(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const uint32_t count = r.u32();
    const uint32_t n = r.u32();
    // Refuse before allocating: the count is bounded by the 16-bit index, the entries by the input.
    if (count > kMaxBinBins || n > count) ktsl::Serializable::fromBinFailed();
    r.need(n * kEntrySize);
    Histogram tmp(count);
    uint32_t next = 0;  // entries come in strictly increasing index order
    for (uint32_t e = 0; e < n; ++e) {
        const uint32_t index = r.u16();
        const uint32_t value = r.u32();
        if (index >= count || index < next) ktsl::Serializable::fromBinFailed();
        tmp.m_bins[index] = value;
        next = index + 1;
    }
    tmp.recomputeTotal();
    swap(tmp);
    return r.consumed();
}

unsigned Histogram::fromBin(const unsigned char* in, unsigned length) { return readSparse(in, length); }

}  // namespace ktml
