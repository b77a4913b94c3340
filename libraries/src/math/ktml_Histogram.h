// ktml::Histogram: a vector of integer bin counts with a running total, for the object-level code:
// normalised reads, distances, intersection, blending and subtraction. Serializable in a sparse form.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ktsl_Serializable.h"

namespace ktml {

// Storage: bins are held sparse (the non-zero bins only) until something changes a bin, and dense
// (one u32 per bin) from then on. A new or cleared histogram and one read from bytes allocate no
// dense bins, so a header declaring many empty bins costs nothing; a read value holds at most
// 8 bytes per 6-byte entry of its form. Reads give the same results in either storage.
class Histogram : public ktsl::Serializable {
public:
    // Bin indices travel in 16 bits, so the binary form addresses at most this many bins; a reader
    // refuses more, and bounds the dense bins a read value can later grow to.
    static constexpr uint32_t kMaxBinBins = 65536;

    Histogram() = default;
    explicit Histogram(uint32_t count);
    Histogram(const Histogram& o);
    Histogram(Histogram&& o) noexcept;
    Histogram& operator=(const Histogram& o);
    Histogram& operator=(Histogram&& o) noexcept;
    ~Histogram() override;
    void swap(Histogram& o) noexcept;

    // Replaces the bins by count zeroed bins, total 0 (the dense bins come with the first change).
    void setBins(uint32_t count);
    // Zeroes the bins and the total.
    void clear();

    uint32_t binCount() const { return m_count; }
    uint32_t getTotal() const { return m_total; }

    // bins[i] += k, total += k (both saturating). Throws without bins or for i >= binCount().
    void incrementBin(uint32_t i, uint32_t k = 1);
    // Bin floor(binCount() x v) += k for v in [0, 1); throws for v outside it or without bins.
    void addValue(float v, uint32_t k = 1);
    // bins[i]; 0 for i >= binCount() rather than a read past the bins.
    uint32_t getBinValue(uint32_t i) const;
    // bins[i] / total (0 when the total is 0); throws for a bad index.
    float getValue(uint32_t i) const;
    // Fills out (not cleared first) with count -> bin index, ascending by count.
    void getBinValues(std::multimap<uint32_t, uint32_t>& out) const;
    // Number of non-zero bins, also stored in n.
    uint32_t nonZeroBins(uint32_t& n) const;
    uint32_t nonZeroBins() const {
        uint32_t n;
        return nonZeroBins(n);
    }
    // Index of the first largest bin; 0 with fewer than two bins; throws without bins.
    uint32_t getMaxBin() const;
    // Share of non-zero bins, 0..1 (0 without bins).
    float inUsePercent() const;

    // Method 0: 0.5 x sum |pa - pb|; method 1: 0.5 x sum (pa - pb)^2 / (pa + pb + 1.1920929e-7);
    // other methods 0. Throws unless both have the same bin count.
    double distanceTo(const Histogram& other, int method = 0) const;
    // Sum of min(pa, pb); throws unless both have the same bin count.
    double intersectionWith(const Histogram& other) const;
    // Every bin becomes round(bin x (1 - w)) + round(other x w), each product rounded half up and
    // clamped to 32 bits; the total the sum of the new bins. w in [0, 1); both need bins of the
    // same count.
    void average(const Histogram& other, float w);
    // Per bin: a' = max(a - b, 0), then b' = max(b - a', 0); both totals recomputed.
    void exclude(Histogram& other);

    Histogram operator+(const Histogram& other) const;
    Histogram& operator+=(const Histogram& other);
    // Needs the same bin count and this total >= the other's. Equal totals empty every bin;
    // otherwise bins are subtracted one by one, each floored at 0.
    Histogram operator-(const Histogram& other) const;
    Histogram& operator-=(const Histogram& other);

    bool operator==(const Histogram& o) const;
    bool operator!=(const Histogram& o) const { return !(*this == o); }

    // ktsl::Serializable. Binary form: u32 bin count, u32 number n of non-zero bins, then n entries
    // (u16 index, u32 value) in increasing index order; reading recomputes the total. No XML form.
    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override;
    kttl::String getTypeName() const override;
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

protected:
    // One non-zero bin of the sparse storage.
    struct Entry {
        uint32_t index;
        uint32_t value;
        bool operator==(const Entry& o) const { return index == o.index && value == o.value; }
    };
    class Cursor;

    // Reads the sparse form into this histogram (unchanged on failure); bytes consumed. The result
    // stays sparse.
    unsigned readSparse(const unsigned char* in, unsigned length);
    // Switches to dense bins before a change; a no-op when already dense or without bins.
    void makeDense();
    void recomputeTotal();

    std::unique_ptr<uint32_t[]> m_bins;  // dense bins, or null while the histogram is sparse
    std::vector<Entry> m_sparse;         // while sparse: the non-zero bins in increasing index order
    uint32_t m_count = 0;
    uint32_t m_total = 0;
};

}  // namespace ktml
