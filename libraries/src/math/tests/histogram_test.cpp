// Histogram classes: counting, reads, distances, blending, exclusion, subtraction, colour bins and
// the sparse binary form.
#include "ktml_ColorHistogram.h"
#include "ktml_Histogram.h"
#include "kttl_Exception.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using ktml::ColorHistogram;
using ktml::Histogram;

namespace {
template <typename F>
std::string thrownMessage(F f) {
    try {
        f();
    } catch (const kttl::Exception& e) {
        return e.what();
    }
    return "";
}
bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
Histogram make(std::vector<uint32_t> counts) {
    Histogram h(static_cast<uint32_t>(counts.size()));
    for (uint32_t i = 0; i < counts.size(); ++i)
        if (counts[i]) h.incrementBin(i, counts[i]);
    return h;
}
std::vector<uint32_t> bins(const Histogram& h) {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < h.binCount(); ++i) v.push_back(h.getBinValue(i));
    return v;
}
std::vector<unsigned char> encode(const ktsl::Serializable& s) {
    std::vector<unsigned char> b(s.getBinLength());
    EXPECT_EQ(s.toBin(b.data()), b.size());
    return b;
}
}  // namespace

TEST(Histogram, CountingAndReads) {
    Histogram h(10);
    h.addValue(0.999f, 1);
    h.addValue(0.0f, 2);
    EXPECT_EQ(h.getBinValue(9), 1u);
    EXPECT_EQ(h.getBinValue(0), 2u);
    EXPECT_EQ(h.getTotal(), 3u);
    EXPECT_TRUE(endsWith(thrownMessage([&] { h.addValue(1.0f, 1); }),
                         "ktml::Histogram::at(...) - floating pt channel value(s) >= 1 or < 0"));
    EXPECT_THROW(h.addValue(-0.01f, 1), kttl::Exception);
    std::string msg = thrownMessage([&] { h.incrementBin(10, 1); });
    EXPECT_TRUE(endsWith(msg, "incrementBin(...) - invalid bin index ")) << msg;
    EXPECT_NE(msg.find("../../../../../libraries/src/math/ktml_Histogram ("), std::string::npos) << msg;
    Histogram empty;
    EXPECT_TRUE(endsWith(thrownMessage([&] { empty.incrementBin(0, 1); }),
                         "incrementBin(...) - histogram points to no data"));
    EXPECT_TRUE(endsWith(thrownMessage([&] { empty.addValue(0.5f, 1); }), "at(...) - histogram points to no data"));
    EXPECT_TRUE(endsWith(thrownMessage([&] { empty.getMaxBin(); }), "getMaxBin(...) - histogram is NULL"));

    EXPECT_FLOAT_EQ(h.getValue(0), 2.0f / 3.0f);
    EXPECT_TRUE(endsWith(thrownMessage([&] { h.getValue(10); }), "getValue(...) - index out of bounds"));
    EXPECT_EQ(Histogram(4).getValue(2), 0.0f);  // empty: 0, not a division by zero
    EXPECT_EQ(h.getBinValue(10), 0u);          // past the bins: 0, not a stray read

    Histogram t = make({3, 7, 7, 1});
    EXPECT_EQ(t.getMaxBin(), 1u);  // tie keeps the lower index
    EXPECT_EQ(make({9}).getMaxBin(), 0u);
    uint32_t n = 99;
    EXPECT_EQ(make({0, 4, 0, 1}).nonZeroBins(n), 2u);
    EXPECT_EQ(n, 2u);
    EXPECT_FLOAT_EQ(make({0, 4, 0, 1}).inUsePercent(), 0.5f);
    std::multimap<uint32_t, uint32_t> byCount;
    t.getBinValues(byCount);
    ASSERT_EQ(byCount.size(), 4u);
    EXPECT_EQ(byCount.begin()->second, 3u);
    EXPECT_EQ(byCount.rbegin()->first, 7u);

    t.clear();
    EXPECT_EQ(t.getTotal(), 0u);
    EXPECT_EQ(bins(t), (std::vector<uint32_t>{0, 0, 0, 0}));
    t.setBins(2);
    EXPECT_EQ(t.binCount(), 2u);
}

TEST(Histogram, DistancesAndIntersection) {
    Histogram a = make({4, 0}), b = make({0, 9}), c = make({1, 1});
    EXPECT_DOUBLE_EQ(a.distanceTo(b, 0), 1.0);
    EXPECT_DOUBLE_EQ(a.distanceTo(a, 0), 0.0);
    EXPECT_DOUBLE_EQ(a.distanceTo(c, 0), 0.5);
    EXPECT_NEAR(a.distanceTo(b, 1), 1.0, 1e-6);
    EXPECT_NEAR(a.distanceTo(c, 1), 0.5 * (0.25 / 1.5 + 0.25 / 0.5), 1e-6);
    EXPECT_EQ(a.distanceTo(b, 7), 0.0);
    EXPECT_DOUBLE_EQ(a.intersectionWith(c), 0.5);
    EXPECT_DOUBLE_EQ(a.intersectionWith(b), 0.0);
    Histogram three(3);
    EXPECT_TRUE(endsWith(thrownMessage([&] { a.distanceTo(three, 0); }),
                         "distanceTo(...) - histogram dimensions are not the same"));
    EXPECT_TRUE(endsWith(thrownMessage([&] { a.intersectionWith(three); }),
                         "intersectionWith(...) - histogram dimensions are not the same"));
}

TEST(Histogram, AverageRoundsEachProductHalfUp) {
    Histogram a = make({100, 3, 1, 0}), b = make({200, 0, 1, 0});
    a.average(b, 0.25f);
    // 75 + 50; 2.25 -> 2; 0.75 -> 1 and 0.25 -> 0; 0
    EXPECT_EQ(bins(a), (std::vector<uint32_t>{125, 2, 1, 0}));
    EXPECT_EQ(a.getTotal(), 128u);
    Histogram h = make({1}), g = make({1});
    h.average(g, 0.5f);  // 0.5 -> 1 and 0.5 -> 1: each product rounds on its own
    EXPECT_EQ(bins(h), (std::vector<uint32_t>{2}));

    EXPECT_TRUE(endsWith(thrownMessage([&] { a.average(b, 1.0f); }), "average(...) - weight value(s) >= 1 or < 0"));
    EXPECT_THROW(a.average(b, -0.5f), kttl::Exception);
    Histogram none;
    EXPECT_TRUE(endsWith(thrownMessage([&] { a.average(none, 0.5f); }), "average(...) - histogram points to no data"));
    EXPECT_TRUE(endsWith(thrownMessage([&] { a.average(Histogram(3), 0.5f); }),
                         "operator+(...) - histogram dimensions are not the same"));
    EXPECT_EQ(bins(a), (std::vector<uint32_t>{125, 2, 1, 0}));  // refusals change nothing

    Histogram big = make({4000000000u}), bigger = make({4000000000u});
    big.average(bigger, 0.5f);
    EXPECT_EQ(big.getBinValue(0), 4000000000u);
}

TEST(Histogram, ExcludeSubtractAdd) {
    struct Row {
        uint32_t a, b, a2, b2;
    } rows[] = {{10, 3, 7, 0}, {5, 3, 2, 1}, {3, 5, 0, 5}, {4, 4, 0, 4}, {0, 0, 0, 0}};
    for (const Row& r : rows) {
        Histogram a = make({r.a}), b = make({r.b});
        a.exclude(b);
        EXPECT_EQ(a.getBinValue(0), r.a2) << r.a << "," << r.b;
        EXPECT_EQ(b.getBinValue(0), r.b2) << r.a << "," << r.b;
        EXPECT_EQ(a.getTotal(), r.a2);
        EXPECT_EQ(b.getTotal(), r.b2);
    }

    Histogram a = make({5, 7, 1}), b = make({2, 3, 0});
    Histogram sum = a + b;
    EXPECT_EQ(bins(sum), (std::vector<uint32_t>{7, 10, 1}));
    EXPECT_EQ(sum.getTotal(), 18u);
    Histogram diff = a - b;
    EXPECT_EQ(bins(diff), (std::vector<uint32_t>{3, 4, 1}));
    EXPECT_EQ(diff.getTotal(), 8u);
    // Equal totals empty every bin, whatever the bins were.
    Histogram same = make({1, 2, 0}), other = make({3, 0, 0});
    same -= other;
    EXPECT_EQ(bins(same), (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(same.getTotal(), 0u);
    // A bin that would go negative floors at 0 and the total follows the bins.
    Histogram lhs = make({1, 9, 0}), rhs = make({3, 1, 0});
    lhs -= rhs;
    EXPECT_EQ(bins(lhs), (std::vector<uint32_t>{0, 8, 0}));
    EXPECT_EQ(lhs.getTotal(), 8u);
    EXPECT_TRUE(endsWith(thrownMessage([&] { b -= a; }), "operator-(...) - lhs histogram has less values that rhs"));
    EXPECT_TRUE(endsWith(thrownMessage([&] { a -= Histogram(2); }),
                         "operator-=(...) - histogram dimensions are not the same"));
    EXPECT_TRUE(endsWith(thrownMessage([&] { a += Histogram(2); }),
                         "operator+(...) - histogram dimensions are not the same"));
    Histogram c1(2), c2(1);
    EXPECT_TRUE(endsWith(thrownMessage([&] { c1.exclude(c2); }), "exclude(...) - histogram dimensions are not the same"));
}

TEST(ColorHistogram, ColourAddressing) {
    ColorHistogram def;
    EXPECT_EQ(def.binCount(), 512u);
    EXPECT_EQ(def.getBin(255, 0, 0), 7u);
    EXPECT_EQ(def.getBin(0, 255, 0), 7u << 3);
    EXPECT_EQ(def.getBin(0, 0, 255), 7u << 6);
    EXPECT_EQ(def.getBin(31, 32, 64), 0u + (1u << 3) + (2u << 6));
    def.addColor(255, 0, 0, 3);
    EXPECT_EQ(def.getBinValue(7), 3u);
    EXPECT_FLOAT_EQ(def.getValue(250, 10, 10), 1.0f);

    uint32_t packed = 0;
    ASSERT_TRUE(def.binToColor(7, packed));
    EXPECT_EQ(packed, 240u | (16u << 8) | (16u << 16));  // centres: 7 x 32 + 16, 0 + 16
    EXPECT_FALSE(def.binToColor(512, packed));
    float h, s, v;
    ASSERT_TRUE(def.binToHSV(7, h, s, v));
    EXPECT_NEAR(h, 0.0f, 1e-4);
    EXPECT_NEAR(v, 240.0f / 255.0f, 1e-5);
    ASSERT_TRUE(def.binToHSV(7u << 6, h, s, v));
    EXPECT_NEAR(h, 240.0f, 1e-3);

    ColorHistogram odd(4, 2, 8);  // 2, 1 and 3 bits
    EXPECT_EQ(odd.binCount(), 64u);
    EXPECT_EQ(odd.bits(0), 2u);
    EXPECT_EQ(odd.bits(1), 1u);
    EXPECT_EQ(odd.bits(2), 3u);
    EXPECT_EQ(odd.getBin(255, 255, 255), 3u | (1u << 2) | (7u << 3));
    ColorHistogram three(3, 3, 3);  // not powers of two: 1 bit each, 27 bins
    EXPECT_EQ(three.binCount(), 27u);
    EXPECT_EQ(three.getBin(255, 255, 255), 7u);
    three.ensureBins(2, 2, 2);  // same bits: nothing changes
    EXPECT_EQ(three.binCount(), 27u);
    three.ensureBins(4, 4, 4);
    EXPECT_EQ(three.binCount(), 64u);
    EXPECT_EQ(three.getBin(255, 255, 255), 63u);  // masks and shifts follow the new bits
    EXPECT_THROW(ColorHistogram(0, 4, 4), kttl::Exception);
    EXPECT_THROW(ColorHistogram(4, 4, 257), kttl::Exception);
    ColorHistogram whole(256, 1, 1);
    EXPECT_EQ(whole.getBin(200, 255, 255), 200u);
    ASSERT_TRUE(whole.binToColor(200, packed));
    EXPECT_EQ(packed, 200u | (128u << 8) | (128u << 16));

    kt_histogram k;
    kt_histogram_reset(&k);
    k.bins[kt_histogram_index(255, 0, 0)] = 5;
    k.bins[kt_histogram_index(0, 0, 200)] = 2;
    k.total = 7;
    ColorHistogram fromCore(k);
    EXPECT_EQ(fromCore.binCount(), 64u);
    EXPECT_EQ(fromCore.getTotal(), 7u);
    EXPECT_EQ(fromCore.getBinValue(fromCore.getBin(255, 0, 0)), 5u);  // the two bin layouts agree
    EXPECT_EQ(fromCore.getBinValue(fromCore.getBin(0, 0, 200)), 2u);
}

TEST(HistogramBinary, SparseFormRoundTrips) {
    Histogram h = make({1, 0, 0, 3});
    std::vector<unsigned char> b = encode(h);
    ASSERT_EQ(b.size(), 20u);
    EXPECT_EQ(b[0], 4);  // bin count
    EXPECT_EQ(b[4], 2);  // entries
    EXPECT_EQ(b[8], 0);  // index 0
    EXPECT_EQ(b[14], 3);  // index 3
    Histogram back;
    ASSERT_EQ(back.fromBin(b.data(), b.size()), 20u);
    EXPECT_EQ(back, h);
    EXPECT_EQ(back.getTotal(), 4u);
    EXPECT_EQ(encode(Histogram()).size(), 8u);

    ColorHistogram c(4, 8, 2);
    c.addColor(10, 200, 130, 6);
    std::vector<unsigned char> cb = encode(c);
    ASSERT_EQ(cb.size(), 8u + 6u + 12u);
    ColorHistogram cback;
    ASSERT_EQ(cback.fromBin(cb.data(), cb.size()), cb.size());
    EXPECT_EQ(cback, c);
    EXPECT_EQ(cback.getBin(10, 200, 130), c.getBin(10, 200, 130));  // derived values recomputed

    EXPECT_TRUE(endsWith(thrownMessage([&] { h.toXML("x"); }), "Histogram::toXML( ) - not implemented"));
    EXPECT_TRUE(endsWith(thrownMessage([&] { h.fromXML("<x/>"); }), "Histrogram::fromXML( ) - not implemented"));
    EXPECT_EQ(h.getTypeId(), 604);
    EXPECT_EQ(c.getTypeId(), 605);
    EXPECT_EQ(h.getTypeName(), "Histogram");
    EXPECT_EQ(c.getTypeName(), "ColorHistogram");
}

TEST(HistogramBinary, ReaderRefusesUntrustedCounts) {
    auto le32 = [](std::vector<unsigned char>& v, uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back((unsigned char)(x >> (8 * i)));
    };
    auto entry = [&](std::vector<unsigned char>& v, uint16_t i, uint32_t x) {
        v.push_back((unsigned char)i);
        v.push_back((unsigned char)(i >> 8));
        le32(v, x);
    };
    const Histogram original = make({9, 9});
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    std::vector<Case> cases;
    {
        std::vector<unsigned char> v;
        le32(v, 4);
        le32(v, 1);
        entry(v, 4, 1);
        cases.push_back({"index at the bin count", v});
    }
    {
        std::vector<unsigned char> v;
        le32(v, 4);
        le32(v, 2);
        entry(v, 1, 1);
        entry(v, 1, 1);
        cases.push_back({"repeated index", v});
    }
    {
        std::vector<unsigned char> v;
        le32(v, 4);
        le32(v, 3);
        entry(v, 1, 1);
        cases.push_back({"more entries than bytes", v});
    }
    {
        std::vector<unsigned char> v;
        le32(v, 4);
        le32(v, 5);
        cases.push_back({"more entries than bins", v});
    }
    {
        std::vector<unsigned char> v;
        le32(v, 0xFFFFFFFFu);
        le32(v, 0);
        cases.push_back({"bin count beyond a 16-bit index", v});
    }
    {
        std::vector<unsigned char> v;
        le32(v, 4);
        cases.push_back({"truncated header", v});
    }
    for (const Case& c : cases) {
        Histogram h = original;
        EXPECT_THROW(h.fromBin(c.bytes.data(), c.bytes.size()), kttl::Exception) << c.what;
        EXPECT_EQ(h, original) << c.what;
    }
    // Colour bits beyond 8 per channel are refused too.
    ColorHistogram c;
    std::vector<unsigned char> v;
    le32(v, 4);
    le32(v, 0);
    le32(v, 2);
    le32(v, 2);
    le32(v, 9);
    EXPECT_THROW(c.fromBin(v.data(), v.size()), kttl::Exception);
    EXPECT_EQ(c, ColorHistogram());

    // The largest addressable histogram still round-trips; a larger one is refused when written.
    Histogram wide(65536);
    wide.incrementBin(65535, 2);
    std::vector<unsigned char> w = encode(wide);
    Histogram wback;
    ASSERT_EQ(wback.fromBin(w.data(), w.size()), w.size());
    EXPECT_EQ(wback, wide);
    EXPECT_THROW(Histogram(65537).getBinLength(), kttl::Exception);
}
