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

// A bin's share of the total as getValue() gives it (0 when the total is 0).
double normalised(uint32_t bin, uint32_t total) {
    return total ? static_cast<double>(static_cast<float>(bin) / static_cast<float>(total)) : 0.0;
}

// round(v) half up, clamped to 0..UINT32_MAX.
uint32_t roundClamp(double v) {
    const double r = std::floor(v + 0.5);
    if (!(r > 0)) return 0;
    if (r >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(r);
}

}  // namespace

// Reads the bins in increasing index order in either storage, without a search per bin.
class Histogram::Cursor {
public:
    explicit Cursor(const Histogram& h) : m_h(h), m_next(h.m_sparse.data()), m_end(m_next + h.m_sparse.size()) {}
    // bins[i]; i must not decrease from one call to the next.
    uint32_t at(uint32_t i) {
        if (m_h.m_bins) return m_h.m_bins[i];
        while (m_next != m_end && m_next->index < i) ++m_next;
        return m_next != m_end && m_next->index == i ? m_next->value : 0;
    }

private:
    const Histogram& m_h;
    const Entry* m_next;
    const Entry* m_end;
};

Histogram::Histogram(uint32_t count) { setBins(count); }

Histogram::Histogram(const Histogram& o) : m_sparse(o.m_sparse), m_count(o.m_count), m_total(o.m_total) {
    if (o.m_bins) {
        m_bins.reset(new uint32_t[m_count]);
        std::memcpy(m_bins.get(), o.m_bins.get(), sizeof(uint32_t) * m_count);
    }
}

Histogram::Histogram(Histogram&& o) noexcept
    : m_bins(std::move(o.m_bins)), m_sparse(std::move(o.m_sparse)), m_count(o.m_count), m_total(o.m_total) {
    o.m_sparse.clear();
    o.m_count = 0;
    o.m_total = 0;
}

Histogram& Histogram::operator=(const Histogram& o) {
    if (this == &o) return *this;
    if (m_bins && m_count == o.m_count) {
        // Objects copy their histogram every frame: keep the dense buffer when the shape is unchanged.
        if (o.m_bins) {
            std::memcpy(m_bins.get(), o.m_bins.get(), sizeof(uint32_t) * m_count);
        } else {
            std::memset(m_bins.get(), 0, sizeof(uint32_t) * m_count);
            for (const Entry& e : o.m_sparse) m_bins[e.index] = e.value;
        }
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
    m_sparse.swap(o.m_sparse);
    std::swap(m_count, o.m_count);
    std::swap(m_total, o.m_total);
}

void Histogram::setBins(uint32_t count) {
    m_bins.reset();
    std::vector<Entry>().swap(m_sparse);
    m_count = count;
    m_total = 0;
}

void Histogram::clear() {
    if (m_bins) std::memset(m_bins.get(), 0, sizeof(uint32_t) * m_count);
    m_sparse.clear();
    m_total = 0;
}

void Histogram::makeDense() {
    if (m_bins || !m_count) return;
    std::unique_ptr<uint32_t[]> bins(new uint32_t[m_count]());
    for (const Entry& e : m_sparse) bins[e.index] = e.value;
    m_bins = std::move(bins);
    std::vector<Entry>().swap(m_sparse);
}

uint32_t Histogram::getBinValue(uint32_t i) const {
    if (i >= m_count) return 0;
    if (m_bins) return m_bins[i];
    const auto it = std::lower_bound(m_sparse.begin(), m_sparse.end(), i,
                                     [](const Entry& e, uint32_t index) { return e.index < index; });
    return it != m_sparse.end() && it->index == i ? it->value : 0;
}

void Histogram::incrementBin(uint32_t i, uint32_t k) {
    if (!m_count) KT_THROW(kClass, "incrementBin(...) - histogram points to no data");
    if (i >= m_count) KT_THROW(kClass, "incrementBin(...) - invalid bin index ");
    makeDense();
    m_bins[i] = satAdd(m_bins[i], k);
    m_total = satAdd(m_total, k);
}

void Histogram::addValue(float v, uint32_t k) {
    if (!(v >= 0.0f && v < 1.0f)) KT_THROW(kClass, "at(...) - floating pt channel value(s) >= 1 or < 0");
    if (!m_count) KT_THROW(kClass, "at(...) - histogram points to no data");
    uint32_t i = static_cast<uint32_t>(static_cast<double>(m_count) * v);
    if (i >= m_count) i = m_count - 1;  // v just below 1 rounded up by the product
    incrementBin(i, k);
}

float Histogram::getValue(uint32_t i) const {
    if (i >= m_count) KT_THROW(kClass, "getValue(...) - index out of bounds");
    return m_total ? static_cast<float>(getBinValue(i)) / static_cast<float>(m_total) : 0.0f;
}

void Histogram::getBinValues(std::multimap<uint32_t, uint32_t>& out) const {
    Cursor c(*this);
    for (uint32_t i = 0; i < m_count; ++i) out.insert(std::make_pair(c.at(i), i));
}

uint32_t Histogram::nonZeroBins(uint32_t& n) const {
    if (!m_bins) return n = static_cast<uint32_t>(m_sparse.size());
    n = 0;
    for (uint32_t i = 0; i < m_count; ++i)
        if (m_bins[i]) ++n;
    return n;
}

uint32_t Histogram::getMaxBin() const {
    if (!m_count) KT_THROW(kClass, "getMaxBin(...) - histogram is NULL");
    if (m_count < 2) return 0;
    if (!m_bins) {  // the first largest entry; all bins empty gives bin 0
        uint32_t best = 0, bestValue = 0;
        for (const Entry& e : m_sparse)
            if (e.value > bestValue) best = e.index, bestValue = e.value;
        return best;
    }
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
    if (method != 0 && method != 1) return 0.0;
    Cursor a(*this), b(other);
    double sum = 0.0;
    for (uint32_t i = 0; i < m_count; ++i) {
        const double pa = normalised(a.at(i), m_total), pb = normalised(b.at(i), other.m_total);
        sum += method == 0 ? std::fabs(pa - pb) : (pa - pb) * (pa - pb) / (pa + pb + kChiSquareEpsilon);
    }
    return 0.5 * sum;
}

double Histogram::intersectionWith(const Histogram& other) const {
    if (m_count != other.m_count)
        KT_THROW(kClass, "intersectionWith(...) - histogram dimensions are not the same");
    Cursor a(*this), b(other);
    double sum = 0.0;
    for (uint32_t i = 0; i < m_count; ++i)
        sum += std::min(normalised(a.at(i), m_total), normalised(b.at(i), other.m_total));
    return sum;
}

void Histogram::average(const Histogram& other, float w) {
    if (!(w >= 0.0f && w < 1.0f)) KT_THROW(kClass, "average(...) - weight value(s) >= 1 or < 0");
    if (!m_count || !other.m_count) KT_THROW(kClass, "average(...) - histogram points to no data");
    if (m_count != other.m_count) KT_THROW(kClass, "operator+(...) - histogram dimensions are not the same");
    makeDense();
    Cursor b(other);
    const double keep = 1.0 - static_cast<double>(w), take = static_cast<double>(w);
    uint32_t total = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        m_bins[i] = satAdd(roundClamp(m_bins[i] * keep), roundClamp(b.at(i) * take));
        total = satAdd(total, m_bins[i]);
    }
    m_total = total;
}

void Histogram::exclude(Histogram& other) {
    if (m_count != other.m_count) KT_THROW(kClass, "exclude(...) - histogram dimensions are not the same");
    makeDense();
    other.makeDense();
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
    makeDense();
    Cursor b(other);
    for (uint32_t i = 0; i < m_count; ++i) m_bins[i] = satAdd(m_bins[i], b.at(i));
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
    makeDense();
    Cursor b(other);
    bool floored = false;
    for (uint32_t i = 0; i < m_count; ++i) {
        const uint32_t sub = b.at(i);
        if (m_bins[i] < sub) floored = true;
        m_bins[i] = m_bins[i] > sub ? m_bins[i] - sub : 0;
    }
    // A bin that would go below zero keeps the bins and the total consistent instead of wrapping.
    if (floored) recomputeTotal();
    else m_total -= other.m_total;
    return *this;
}

bool Histogram::operator==(const Histogram& o) const {
    if (m_count != o.m_count || m_total != o.m_total) return false;
    if (m_bins && o.m_bins) return std::memcmp(m_bins.get(), o.m_bins.get(), sizeof(uint32_t) * m_count) == 0;
    if (!m_bins && !o.m_bins) return m_sparse == o.m_sparse;
    // One of each: every sparse entry matches and the dense side has no other non-zero bin.
    const Histogram& dense = m_bins ? *this : o;
    const Histogram& sparse = m_bins ? o : *this;
    for (const Entry& e : sparse.m_sparse)
        if (dense.m_bins[e.index] != e.value) return false;
    return dense.nonZeroBins() == sparse.m_sparse.size();
}

void Histogram::recomputeTotal() {
    uint32_t total = 0;
    if (m_bins) {
        for (uint32_t i = 0; i < m_count; ++i) total = satAdd(total, m_bins[i]);
    } else {
        for (const Entry& e : m_sparse) total = satAdd(total, e.value);
    }
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
    if (!m_bins) {
        for (const Entry& e : m_sparse) {
            w.u16(static_cast<uint16_t>(e.index));
            w.u32(e.value);
        }
        return w.written();
    }
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
    // Kept sparse: what the value holds grows with its entries, never with the declared count.
    Histogram tmp;
    tmp.m_count = count;
    tmp.m_sparse.reserve(n);
    uint32_t next = 0;  // entries come in strictly increasing index order
    for (uint32_t e = 0; e < n; ++e) {
        const uint32_t index = r.u16();
        const uint32_t value = r.u32();
        if (index >= count || index < next) ktsl::Serializable::fromBinFailed();
        if (value) tmp.m_sparse.push_back(Entry{index, value});  // an empty bin needs no entry
        next = index + 1;
    }
    tmp.recomputeTotal();
    swap(tmp);
    return r.consumed();
}

unsigned Histogram::fromBin(const unsigned char* in, unsigned length) { return readSparse(in, length); }

}  // namespace ktml
