// Histogram classes: counting, reads, distances, blending, exclusion, subtraction, colour bins and
// the sparse binary form.
#include "ktml_ColorHistogram.h"
#include "ktml_Histogram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../misc/tests/TestBytes.h"

using ktml::ColorHistogram;
using ktml::Histogram;

namespace {
Histogram make(std::vector<uint32_t> counts) {
    Histogram h(static_cast<uint32_t>(counts.size()));
    for (uint32_t i = 0; i < counts.size(); ++i)
        if (counts[i])
            h.incrementBin(i, counts[i]);
    return h;
}
std::vector<uint32_t> bins(const Histogram& h) {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < h.binCount(); ++i) v.push_back(h.getBinValue(i));
    return v;
}
}  // namespace

TEST(Histogram, CountingAndReads) {
    Histogram h(10);
    h.addValue(0.999f, 1);
    h.addValue(0.0f, 2);
    EXPECT_EQ(bins(h), (std::vector<uint32_t>{2, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(h.getTotal(), 3u);
    EXPECT_FLOAT_EQ(h.getValue(0), 2.0f / 3.0f);
    // Empty: 0, not a division by zero; past the bins: 0, not a stray read.
    EXPECT_TRUE(Histogram(4).getValue(2) == 0.0f && h.getBinValue(10) == 0u);
    expectThrowMessage([&] { h.incrementBin(10, 1); }, "math/ktml_Histogram",
                       "ktml::Histogram::incrementBin(...) - invalid bin index ");
    for (float v : {1.0f, -0.01f})
        EXPECT_TRUE(throwsEndingWith([&] { h.addValue(v, 1); }, "at(...) - floating pt channel value(s) >= 1 or < 0"))
            << v;
    EXPECT_TRUE(throwsEndingWith([&] { h.getValue(10); }, "getValue(...) - index out of bounds"));
    Histogram empty;
    EXPECT_TRUE(throwsEndingWith([&] { empty.incrementBin(0, 1); },
                                 "incrementBin(...) - histogram points to no data"));
    EXPECT_TRUE(throwsEndingWith([&] { empty.addValue(0.5f, 1); }, "at(...) - histogram points to no data"));
    EXPECT_TRUE(throwsEndingWith([&] { empty.getMaxBin(); }, "getMaxBin(...) - histogram is NULL"));

    Histogram t = make({3, 7, 7, 1});
    EXPECT_EQ(t.getMaxBin(), 1u);  // tie keeps the lower index
    EXPECT_EQ(make({9}).getMaxBin(), 0u);
    uint32_t n = 99;
    EXPECT_TRUE(make({0, 4, 0, 1}).nonZeroBins(n) == 2u && n == 2u);
    EXPECT_FLOAT_EQ(make({0, 4, 0, 1}).inUsePercent(), 0.5f);
    std::multimap<uint32_t, uint32_t> byCount;
    t.getBinValues(byCount);
    EXPECT_TRUE(byCount.size() == 4 && byCount.begin()->second == 3 && byCount.rbegin()->first == 7);
    t.clear();
    EXPECT_TRUE(t.getTotal() == 0 && bins(t) == std::vector<uint32_t>(4, 0));
}

TEST(Histogram, DistancesAndIntersection) {
    Histogram a = make({4, 0}), b = make({0, 9}), c = make({1, 1});
    EXPECT_DOUBLE_EQ(a.distanceTo(b, 0), 1.0);
    EXPECT_DOUBLE_EQ(a.distanceTo(c, 0), 0.5);
    EXPECT_NEAR(a.distanceTo(b, 1), 1.0, 1e-6);
    EXPECT_NEAR(a.distanceTo(c, 1), 0.5 * (0.25 / 1.5 + 0.25 / 0.5), 1e-6);
    EXPECT_EQ(a.distanceTo(b, 7), 0.0);
    EXPECT_DOUBLE_EQ(a.intersectionWith(c), 0.5);
    EXPECT_DOUBLE_EQ(a.intersectionWith(b), 0.0);
    EXPECT_TRUE(throwsEndingWith([&] { a.distanceTo(Histogram(3), 0); },
                                 "distanceTo(...) - histogram dimensions are not the same"));
    EXPECT_THROW(a.intersectionWith(Histogram(3)), kttl::Exception);
}

TEST(Histogram, AverageRoundsEachProductHalfUp) {
    Histogram a = make({100, 3, 1, 0}), b = make({200, 0, 1, 0});
    a.average(b, 0.25f);
    EXPECT_EQ(bins(a), (std::vector<uint32_t>{125, 2, 1, 0}));  // 75 + 50; 2.25; 0.75 + 0.25; 0
    EXPECT_EQ(a.getTotal(), 128u);
    Histogram h = make({1});
    h.average(make({1}), 0.5f);  // 0.5 -> 1 and 0.5 -> 1: each product rounds on its own
    EXPECT_EQ(bins(h), (std::vector<uint32_t>{2}));

    for (float w : {1.0f, -0.5f})
        EXPECT_TRUE(throwsEndingWith([&] { a.average(b, w); }, "average(...) - weight value(s) >= 1 or < 0")) << w;
    EXPECT_TRUE(throwsEndingWith([&] { a.average(Histogram(), 0.5f); },
                                 "average(...) - histogram points to no data"));
    EXPECT_THROW(a.average(Histogram(3), 0.5f), kttl::Exception);
    EXPECT_EQ(bins(a), (std::vector<uint32_t>{125, 2, 1, 0}));  // refusals change nothing

    Histogram big = make({4000000000u});
    big.average(make({4000000000u}), 0.5f);  // the sum saturates instead of wrapping
    EXPECT_EQ(big.getBinValue(0), 4000000000u);
}

TEST(Histogram, ExcludeSubtractAdd) {
    const struct { uint32_t a, b, a2, b2; } rows[] = {
        {10, 3, 7, 0}, {5, 3, 2, 1}, {3, 5, 0, 5}, {4, 4, 0, 4}, {0, 0, 0, 0}};
    for (const auto& r : rows) {
        Histogram a = make({r.a}), b = make({r.b});
        a.exclude(b);
        EXPECT_TRUE(a.getBinValue(0) == r.a2 && b.getBinValue(0) == r.b2 && a.getTotal() == r.a2 &&
                    b.getTotal() == r.b2)
            << r.a << "," << r.b;
    }
    Histogram a = make({5, 7, 1}), b = make({2, 3, 0});
    const Histogram sum = a + b, diff = a - b;
    EXPECT_TRUE(bins(sum) == (std::vector<uint32_t>{7, 10, 1}) && sum.getTotal() == 18);
    EXPECT_TRUE(bins(diff) == (std::vector<uint32_t>{3, 4, 1}) && diff.getTotal() == 8);
    Histogram same = make({1, 2, 0});  // equal totals empty every bin, whatever the bins were
    same -= make({3, 0, 0});
    EXPECT_TRUE(bins(same) == std::vector<uint32_t>(3, 0) && same.getTotal() == 0);
    Histogram lhs = make({1, 9, 0});  // a bin that would go negative floors; the total follows
    lhs -= make({3, 1, 0});
    EXPECT_TRUE(bins(lhs) == (std::vector<uint32_t>{0, 8, 0}) && lhs.getTotal() == 8);
    EXPECT_TRUE(throwsEndingWith([&] { b -= a; }, "operator-(...) - lhs histogram has less values that rhs"));
    const char* const differ = "histogram dimensions are not the same";
    EXPECT_TRUE(throwsEndingWith([&] { a -= Histogram(2); }, std::string("operator-=(...) - ") + differ));
    EXPECT_TRUE(throwsEndingWith([&] { a += Histogram(2); }, std::string("operator+(...) - ") + differ));
    Histogram one(1);
    EXPECT_THROW(Histogram(2).exclude(one), kttl::Exception);
}

TEST(ColorHistogram, ColourAddressing) {
    ColorHistogram def;
    EXPECT_EQ(def.binCount(), 512u);
    EXPECT_EQ(def.getBin(255, 0, 0), 7u);
    EXPECT_EQ(def.getBin(0, 0, 255), 7u << 6);
    EXPECT_EQ(def.getBin(31, 32, 64), 0u + (1u << 3) + (2u << 6));
    def.addColor(255, 0, 0, 3);
    EXPECT_FLOAT_EQ(def.getValue(250, 10, 10), 1.0f);
    uint32_t packed = 0;
    // centres: 7 x 32 + 16, 0 + 16
    EXPECT_TRUE(def.binToColor(7, packed) && packed == (240u | (16u << 8) | (16u << 16)));
    EXPECT_FALSE(def.binToColor(512, packed));
    float h, s, v;
    ASSERT_TRUE(def.binToHSV(7u << 6, h, s, v));
    EXPECT_NEAR(h, 240.0f, 1e-3);
    EXPECT_NEAR(v, 240.0f / 255.0f, 1e-5);

    ColorHistogram odd(4, 2, 8);  // 2, 1 and 3 bits
    EXPECT_TRUE(odd.binCount() == 64 && odd.bits(0) == 2 && odd.bits(1) == 1 && odd.bits(2) == 3);
    EXPECT_EQ(odd.getBin(255, 255, 255), 3u | (1u << 2) | (7u << 3));
    ColorHistogram three(3, 3, 3);  // not powers of two: 1 bit each, 27 bins
    EXPECT_TRUE(three.binCount() == 27 && three.getBin(255, 255, 255) == 7);
    three.ensureBins(2, 2, 2);  // same bits: nothing changes
    EXPECT_EQ(three.binCount(), 27u);
    three.ensureBins(4, 4, 4);  // masks and shifts follow the new bits
    EXPECT_TRUE(three.binCount() == 64 && three.getBin(255, 255, 255) == 63);
    EXPECT_THROW(ColorHistogram(0, 4, 4), kttl::Exception);
    EXPECT_THROW(ColorHistogram(4, 4, 257), kttl::Exception);
    ColorHistogram whole(256, 1, 1);
    ASSERT_TRUE(whole.getBin(200, 255, 255) == 200 && whole.binToColor(200, packed));
    EXPECT_EQ(packed, 200u | (128u << 8) | (128u << 16));

    kt_histogram k;  // the detection core's 64 bins map onto the same colours
    kt_histogram_reset(&k);
    k.bins[kt_histogram_index(255, 0, 0)] = 5;
    k.bins[kt_histogram_index(0, 0, 200)] = 2;
    k.total = 7;
    const ColorHistogram fromCore(k);
    EXPECT_TRUE(fromCore.binCount() == 64 && fromCore.getTotal() == 7);
    EXPECT_TRUE(fromCore.getBinValue(fromCore.getBin(255, 0, 0)) == 5u &&
                fromCore.getBinValue(fromCore.getBin(0, 0, 200)) == 2u);
}

TEST(HistogramBinary, SparseFormRoundTrips) {
    const Histogram h = make({1, 0, 0, 3});
    const std::vector<unsigned char> b = binOf(h);
    ASSERT_EQ(b.size(), 20u);
    EXPECT_TRUE(b[0] == 4 && b[4] == 2 && b[8] == 0 && b[14] == 3);  // bins, entries, indices 0 and 3
    Histogram back;
    EXPECT_TRUE(back.fromBin(b.data(), b.size()) == 20u && back == h && back.getTotal() == 4);
    EXPECT_EQ(binOf(Histogram()).size(), 8u);

    ColorHistogram c(4, 8, 2);
    c.addColor(10, 200, 130, 6);
    const std::vector<unsigned char> cb = binOf(c);
    ASSERT_EQ(cb.size(), 8u + 6u + 12u);
    ColorHistogram cback;
    EXPECT_TRUE(cback.fromBin(cb.data(), cb.size()) == cb.size() && cback == c);
    EXPECT_EQ(cback.getBin(10, 200, 130), c.getBin(10, 200, 130));  // derived values recomputed

    EXPECT_TRUE(throwsEndingWith([&] { h.toXML("x"); }, "Histogram::toXML( ) - not implemented"));
    EXPECT_TRUE(throwsEndingWith([&] { back.fromXML("<x/>"); }, "Histrogram::fromXML( ) - not implemented"));
    EXPECT_TRUE(h.getTypeId() == 604 && c.getTypeId() == 605);
    EXPECT_TRUE(h.getTypeName() == "Histogram" && c.getTypeName() == "ColorHistogram");
}

TEST(HistogramBinary, ReaderRefusesUntrustedCounts) {
    // A little-endian form from u32 words, and sparse entries (index, value) as (u16, u32).
    auto form = [](std::initializer_list<uint32_t> words,
                   std::initializer_list<std::pair<uint16_t, uint32_t>> entries = {}) {
        std::vector<unsigned char> v;
        auto le = [&](uint64_t x, int n) {
            for (int i = 0; i < n; ++i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
        };
        for (uint32_t w : words) le(w, 4);
        for (const auto& e : entries) le(e.first, 2), le(e.second, 4);
        return v;
    };
    const struct { const char* what; std::vector<unsigned char> bytes; } cases[] = {
        {"index at the bin count", form({4, 1}, {{4, 1}})},
        {"repeated index", form({4, 2}, {{1, 1}, {1, 1}})},
        {"more entries than bytes", form({4, 3}, {{1, 1}})},
        {"more entries than bins", form({4, 5})},
        {"bin count beyond a 16-bit index", form({0xFFFFFFFFu, 0})},
        {"truncated header", form({4})},
    };
    const Histogram original = make({9, 9});
    for (const auto& c : cases) {
        Histogram h = original;
        EXPECT_THROW(h.fromBin(c.bytes.data(), c.bytes.size()), kttl::Exception) << c.what;
        EXPECT_EQ(h, original) << c.what;
    }
    ColorHistogram c;  // colour bits beyond 8 per channel
    const std::vector<unsigned char> nine = form({4, 0, 2, 2, 9});
    EXPECT_THROW(c.fromBin(nine.data(), nine.size()), kttl::Exception);
    EXPECT_EQ(c, ColorHistogram());

    // The largest addressable histogram still round-trips; a larger one is refused when written.
    Histogram wide(65536);
    wide.incrementBin(65535, 2);
    const std::vector<unsigned char> w = binOf(wide);
    Histogram wback;
    EXPECT_TRUE(wback.fromBin(w.data(), w.size()) == w.size() && wback == wide);
    EXPECT_THROW(Histogram(65537).getBinLength(), kttl::Exception);
}

// A read histogram is held sparse until a bin changes: every read and operation must give what the
// dense bins give.
TEST(HistogramBinary, ReadHistogramsBehaveAsDenseOnes) {
    const Histogram dense = make({0, 5, 0, 0, 2, 0, 5, 1});
    Histogram read;
    ASSERT_EQ(readBin(read, binOf(dense)), 8u + 4 * 6);
    const Histogram other = make({1, 0, 3, 0, 2, 0, 0, 4});
    Histogram readOther;
    readBin(readOther, binOf(other));
    EXPECT_TRUE(read == dense && dense == read && bins(read) == bins(dense) && read.getTotal() == 13);
    EXPECT_TRUE(read.getMaxBin() == 1 && read.nonZeroBins() == 4 && Histogram(8).getMaxBin() == 0);
    for (int method : {0, 1})
        EXPECT_DOUBLE_EQ(read.distanceTo(readOther, method), dense.distanceTo(other, method)) << method;
    EXPECT_DOUBLE_EQ(read.intersectionWith(other), dense.intersectionWith(other));
    EXPECT_EQ(bins(read + readOther), bins(dense + other));
    Histogram blended = read, blendedDense = dense;
    blended.average(readOther, 0.25f);
    blendedDense.average(other, 0.25f);
    EXPECT_TRUE(blended == blendedDense);
    Histogram kept = make({9, 9, 9, 9, 9, 9, 9, 9});  // a dense target takes a sparse copy in place
    kept = read;
    EXPECT_TRUE(kept == dense && binOf(kept) == binOf(dense));
    read.incrementBin(2, 3);
    EXPECT_TRUE(read.getBinValue(2) == 3 && read.getBinValue(1) == 5 && read.getTotal() == 16);

    // Explicit empty entries are read but not kept: the form written back lists non-zero bins only.
    const std::vector<unsigned char> withZero = {4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 3, 0, 7, 0, 0, 0};
    Histogram z;
    EXPECT_TRUE(readBin(z, withZero) == 20u && z == make({0, 0, 0, 7}) && binOf(z).size() == 14u);
}
