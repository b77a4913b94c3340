// Histogram classes: counting, distances, blending, exclusion, subtraction, colours, the binary form.
#include "ktml_ColorHistogram.h"
#include "ktml_Histogram.h"

#include <gtest/gtest.h>

#include "../../misc/tests/TestBytes.h"

using ktml::ColorHistogram, ktml::Histogram;

namespace {
using U = std::vector<uint32_t>;
Histogram make(U counts) {
    Histogram h(static_cast<uint32_t>(counts.size()));
    for (uint32_t i = 0; i < counts.size(); ++i) if (counts[i]) h.incrementBin(i, counts[i]);
    return h;
}
U bins(const Histogram& h) {
    U v;
    for (uint32_t i = 0; i < h.binCount(); ++i) v.push_back(h.getBinValue(i));
    return v;
}
void expectRefusals(const std::vector<std::pair<std::function<void()>, std::string>>& rows) {
    for (const auto& r : rows) EXPECT_TRUE(throwsEndingWith(r.first, r.second)) << r.second;
}
// A little-endian form from u32 words, then sparse entries (index, value) as (u16, u32).
Bytes form(std::initializer_list<uint32_t> words,
           std::initializer_list<std::pair<uint16_t, uint32_t>> entries = {}) {
    Bytes v;
    for (uint32_t w : words) put32(v, w);
    for (const auto& e : entries) v.push_back(e.first & 0xFF), v.push_back(e.first >> 8), put32(v, e.second);
    return v;
}
}  // namespace

TEST(Histogram, CountingAndReads) {
    Histogram h(10), empty;
    h.addValue(0.999f, 1), h.addValue(0.0f, 2);
    EXPECT_TRUE(bins(h) == (U{2, 0, 0, 0, 0, 0, 0, 0, 0, 1}) && h.getTotal() == 3u);
    EXPECT_FLOAT_EQ(h.getValue(0), 2.0f / 3.0f);
    // Empty: 0, not a division by zero; past the bins: 0, not a stray read.
    EXPECT_TRUE(Histogram(4).getValue(2) == 0.0f && h.getBinValue(10) == 0u);
    const std::string range = "at(...) - floating pt channel value(s) >= 1 or < 0";
    expectRefusals({{[&] { h.incrementBin(10, 1); }, "Histogram::incrementBin(...) - invalid bin index "},
                    {[&] { h.addValue(1.0f, 1); }, range}, {[&] { h.addValue(-0.01f, 1); }, range},
                    {[&] { h.getValue(10); }, "getValue(...) - index out of bounds"},
                    {[&] { empty.incrementBin(0, 1); }, "incrementBin(...) - histogram points to no data"},
                    {[&] { empty.addValue(0.5f, 1); }, "at(...) - histogram points to no data"},
                    {[&] { empty.getMaxBin(); }, "getMaxBin(...) - histogram is NULL"}});

    Histogram t = make({3, 7, 7, 1});
    EXPECT_TRUE(t.getMaxBin() == 1u && make({9}).getMaxBin() == 0u);  // tie keeps the lower index
    uint32_t n = 99;
    EXPECT_TRUE(make({0, 4, 0, 1}).nonZeroBins(n) == 2u && n == 2u && make({0, 4}).inUsePercent() == 0.5f);
    std::multimap<uint32_t, uint32_t> byCount;
    t.getBinValues(byCount);
    EXPECT_TRUE(byCount.size() == 4 && byCount.begin()->second == 3 && byCount.rbegin()->first == 7);
    t.clear();
    EXPECT_TRUE(t.getTotal() == 0 && bins(t) == U(4, 0));
}

TEST(Histogram, DistancesAndIntersection) {
    Histogram a = make({4, 0}), b = make({0, 9}), c = make({1, 1});
    EXPECT_TRUE(a.distanceTo(b, 0) == 1.0 && a.distanceTo(c, 0) == 0.5 && a.distanceTo(b, 7) == 0.0);
    EXPECT_TRUE(std::abs(a.distanceTo(b, 1) - 1.0) < 1e-6 &&
                std::abs(a.distanceTo(c, 1) - 0.5 * (0.25 / 1.5 + 0.25 / 0.5)) < 1e-6);
    EXPECT_TRUE(a.intersectionWith(c) == 0.5 && a.intersectionWith(b) == 0.0);
    const std::string differ = "(...) - histogram dimensions are not the same";
    expectRefusals({{[&] { a.distanceTo(Histogram(3), 0); }, "distanceTo" + differ},
                    {[&] { a.intersectionWith(Histogram(3)); }, "intersectionWith" + differ}});
}

TEST(Histogram, AverageRoundsEachProductHalfUp) {
    Histogram a = make({100, 3, 1, 0}), b = make({200, 0, 1, 0}), h = make({1}), big = make({4000000000u});
    a.average(b, 0.25f);
    EXPECT_TRUE(bins(a) == (U{125, 2, 1, 0}) && a.getTotal() == 128u);  // 75 + 50; 2.25; 0.75 + 0.25; 0
    h.average(make({1}), 0.5f);  // 0.5 -> 1 and 0.5 -> 1: each product rounds on its own
    EXPECT_EQ(bins(h), (U{2}));
    const std::string weight = "average(...) - weight value(s) >= 1 or < 0";
    expectRefusals({{[&] { a.average(b, 1.0f); }, weight}, {[&] { a.average(b, -0.5f); }, weight},
                    {[&] { a.average(Histogram(), 0.5f); }, "average(...) - histogram points to no data"},
                    {[&] { a.average(Histogram(3), 0.5f); }, "dimensions are not the same"}});
    EXPECT_EQ(bins(a), (U{125, 2, 1, 0}));  // refusals change nothing
    big.average(make({4000000000u}), 0.5f);  // the sum saturates instead of wrapping
    EXPECT_EQ(big.getBinValue(0), 4000000000u);
}

TEST(Histogram, ExcludeSubtractAdd) {
    struct { uint32_t a, b, a2, b2; } rows[] = {{10, 3, 7, 0}, {5, 3, 2, 1}, {3, 5, 0, 5}, {4, 4, 0, 4}};
    for (const auto& r : rows) {
        Histogram a = make({r.a}), b = make({r.b});
        a.exclude(b);
        EXPECT_TRUE(a.getBinValue(0) == r.a2 && b.getBinValue(0) == r.b2 && a.getTotal() == r.a2 &&
                    b.getTotal() == r.b2) << r.a << "," << r.b;
    }
    Histogram a = make({5, 7, 1}), b = make({2, 3, 0});
    const Histogram sum = a + b, diff = a - b;
    EXPECT_TRUE(bins(sum) == (U{7, 10, 1}) && sum.getTotal() == 18 && bins(diff) == (U{3, 4, 1}) &&
                diff.getTotal() == 8);
    Histogram same = make({1, 2, 0}), lhs = make({1, 9, 0});
    same -= make({3, 0, 0});  // equal totals empty every bin, whatever the bins were
    EXPECT_TRUE(bins(same) == U(3, 0) && same.getTotal() == 0);
    lhs -= make({3, 1, 0});  // a bin that would go negative floors; the total follows
    EXPECT_TRUE(bins(lhs) == (U{0, 8, 0}) && lhs.getTotal() == 8);
    const std::string differ = "(...) - histogram dimensions are not the same";
    Histogram one(1);
    expectRefusals({{[&] { b -= a; }, "operator-(...) - lhs histogram has less values that rhs"},
                    {[&] { a -= Histogram(2); }, "operator-=" + differ},
                    {[&] { a += Histogram(2); }, "operator+" + differ},
                    {[&] { Histogram(2).exclude(one); }, "exclude" + differ}});
}

TEST(ColorHistogram, ColourAddressing) {
    ColorHistogram def;
    EXPECT_TRUE(def.binCount() == 512u && def.getBin(255, 0, 0) == 7u && def.getBin(0, 0, 255) == 7u << 6);
    EXPECT_EQ(def.getBin(31, 32, 64), 0u + (1u << 3) + (2u << 6));
    def.addColor(255, 0, 0, 3);
    EXPECT_FLOAT_EQ(def.getValue(250, 10, 10), 1.0f);
    uint32_t packed = 0;  // centres: 7 x 32 + 16, 0 + 16
    EXPECT_TRUE(def.binToColor(7, packed) && packed == (240u | (16u << 8) | (16u << 16)) &&
                !def.binToColor(512, packed));
    float h, s, v;
    ASSERT_TRUE(def.binToHSV(7u << 6, h, s, v));
    EXPECT_TRUE(std::abs(h - 240.0f) < 1e-3f && std::abs(v - 240.0f / 255.0f) < 1e-5f) << h << " " << v;

    ColorHistogram odd(4, 2, 8), three(3, 3, 3);  // 2, 1 and 3 bits; not powers of two: 1 bit each
    EXPECT_TRUE(odd.binCount() == 64 && odd.bits(0) == 2 && odd.bits(1) == 1 && odd.bits(2) == 3);
    EXPECT_EQ(odd.getBin(255, 255, 255), 3u | (1u << 2) | (7u << 3));
    EXPECT_TRUE(three.binCount() == 27 && three.getBin(255, 255, 255) == 7);
    three.ensureBins(2, 2, 2);  // same bits: nothing changes
    EXPECT_EQ(three.binCount(), 27u);
    three.ensureBins(4, 4, 4);  // masks and shifts follow the new bits
    EXPECT_TRUE(three.binCount() == 64 && three.getBin(255, 255, 255) == 63);
    EXPECT_TRUE(throwsLibraryException([] { ColorHistogram(0, 4, 4); }) &&
                throwsLibraryException([] { ColorHistogram(4, 4, 257); }));
    const ColorHistogram whole(256, 1, 1);
    EXPECT_TRUE(whole.getBin(200, 255, 255) == 200 && whole.binToColor(200, packed) &&
                packed == (200u | (128u << 8) | (128u << 16)));

    kt_histogram k{};  // the detection core's 64 bins map onto the same colours
    k.bins[kt_histogram_index(255, 0, 0)] = 5, k.bins[kt_histogram_index(0, 0, 200)] = 2, k.total = 7;
    const ColorHistogram fromCore(k);
    EXPECT_TRUE(fromCore.binCount() == 64 && fromCore.getTotal() == 7 &&
                fromCore.getBinValue(fromCore.getBin(255, 0, 0)) == 5u &&
                fromCore.getBinValue(fromCore.getBin(0, 0, 200)) == 2u);
}

TEST(HistogramBinary, SparseFormRoundTrips) {
    Histogram h = make({1, 0, 0, 3}), got;
    const Bytes b = binOf(h);
    EXPECT_TRUE(b.size() == 20u && b[0] == 4 && b[4] == 2 && b[8] == 0 && b[14] == 3);  // bins, entries, 0, 3
    EXPECT_TRUE(readBin(got, b) == 20u && got == h && got.getTotal() == 4 && binOf(Histogram()).size() == 8);

    ColorHistogram c(4, 8, 2), cback;
    c.addColor(10, 200, 130, 6);
    const Bytes cb = binOf(c);
    EXPECT_TRUE(cb.size() == 8u + 6u + 12u && readBin(cback, cb) == cb.size() && cback == c &&
                cback.getBin(10, 200, 130) == c.getBin(10, 200, 130));  // derived values recomputed

    expectRefusals({{[&] { h.toXML("x"); }, "Histogram::toXML( ) - not implemented"},
                    {[&] { got.fromXML("<x/>"); }, "Histrogram::fromXML( ) - not implemented"}});
    EXPECT_TRUE(h.getTypeId() == 604 && c.getTypeId() == 605 && h.getTypeName() == "Histogram" &&
                c.getTypeName() == "ColorHistogram");
}

TEST(HistogramBinary, ReaderRefusesUntrustedCounts) {
    const struct { const char* what; Bytes bytes; } cases[] = {
        {"index at bin count", form({4, 1}, {{4, 1}})}, {"repeated index", form({4, 2}, {{1, 1}, {1, 1}})},
        {"more entries than bytes", form({4, 3}, {{1, 1}})}, {"more entries than bins", form({4, 5})},
        {"bin count past a 16-bit index", form({0xFFFFFFFFu, 0})}, {"truncated header", form({4})}};
    const Histogram original = make({9, 9});
    for (const auto& c : cases) {
        Histogram h = original;
        EXPECT_TRUE(throwsLibraryException([&] { readBin(h, c.bytes); }) && h == original) << c.what;
    }
    ColorHistogram c;  // colour bits beyond 8 per channel
    EXPECT_TRUE(throwsLibraryException([&] { readBin(c, form({4, 0, 2, 2, 9})); }) && c == ColorHistogram());

    // The largest addressable histogram still round-trips; a larger one is refused when written.
    Histogram wide(65536), wback;
    wide.incrementBin(65535, 2);
    EXPECT_TRUE(readBin(wback, binOf(wide)) == 8u + 6u && wback == wide);
    EXPECT_THROW(Histogram(65537).getBinLength(), kttl::Exception);
}

// A read histogram stays sparse until a bin changes: every read and operation must match the dense bins.
TEST(HistogramBinary, ReadHistogramsBehaveAsDenseOnes) {
    const Histogram dense = make({0, 5, 0, 0, 2, 0, 5, 1}), other = make({1, 0, 3, 0, 2, 0, 0, 4});
    Histogram read, readOther, z;
    ASSERT_EQ(readBin(read, binOf(dense)), 8u + 4 * 6);
    readBin(readOther, binOf(other));
    EXPECT_TRUE(read == dense && dense == read && bins(read) == bins(dense) && read.getTotal() == 13);
    EXPECT_TRUE(read.getMaxBin() == 1 && read.nonZeroBins() == 4 && Histogram(8).getMaxBin() == 0);
    for (int method : {0, 1})
        EXPECT_DOUBLE_EQ(read.distanceTo(readOther, method), dense.distanceTo(other, method)) << method;
    EXPECT_DOUBLE_EQ(read.intersectionWith(other), dense.intersectionWith(other));
    EXPECT_EQ(bins(read + readOther), bins(dense + other));
    Histogram blended = read, blendedDense = dense, kept = make({9, 9, 9, 9, 9, 9, 9, 9});
    blended.average(readOther, 0.25f), blendedDense.average(other, 0.25f);
    EXPECT_TRUE(blended == blendedDense);
    kept = read;  // a dense target takes a sparse copy in place
    EXPECT_TRUE(kept == dense && binOf(kept) == binOf(dense));
    read.incrementBin(2, 3);
    EXPECT_TRUE(read.getBinValue(2) == 3 && read.getBinValue(1) == 5 && read.getTotal() == 16);

    // Explicit empty entries are read but not kept: the form written back lists non-zero bins only.
    const Bytes withZero = {4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 3, 0, 7, 0, 0, 0};
    EXPECT_TRUE(readBin(z, withZero) == 20u && z == make({0, 0, 0, 7}) && binOf(z).size() == 14u);
}
