#include "kttl_Attributes.h"

#include <gtest/gtest.h>

#include <cstddef>

#include "AllocCounter.h"
#include "TestBytes.h"

TEST(Attributes, AccessAndStringMapForms) {
    kttl::Attributes a;
    EXPECT_EQ(a.getAttribute("missing"), "");
    a.setAttribute("b", "2");
    a.setAttribute("a", "x&\"y");
    a.setAttribute("b", "3");
    EXPECT_EQ(a.attributeCount(), 2u);
    EXPECT_EQ(a.getAttribute("b"), "3");

    // Count, then name/value String forms in name order.
    EXPECT_EQ(a.attributesBinLength(), 4u + 6 + 9 + 6 + 6);
    Bytes out(a.attributesBinLength());
    EXPECT_EQ(a.attributesToBin(out.data()), out.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 10), (Bytes{2, 0, 0, 0, 1, 0, 0, 0, 'a', 0}));

    kttl::Attributes b;
    b.setAttribute("old", "gone");
    EXPECT_EQ(b.attributesFromBin(out.data(), static_cast<unsigned>(out.size())), out.size());
    EXPECT_EQ(b.getAttributeMap(), a.getAttributeMap());

    EXPECT_EQ(a.attributesToXML("attrs"),
              "<attrs xmlns:kt=\"http://schemas.veltrano.com/settings/1.0\">"
              "<item kt:displayName=\"a\">x&amp;&quot;y</item><item kt:displayName=\"b\">3</item></attrs>");
    kttl::Attributes c;
    ASSERT_TRUE(c.attributesFromXML(a.attributesToXML("attrs").c_str()));
    EXPECT_EQ(c.getAttributeMap(), a.getAttributeMap());
}

// The map reader of every string or integer map: refused input leaves the map unchanged.
TEST(Attributes, RefusedInputLeavesThemUnchanged) {
    kttl::Attributes a;
    a.setAttribute("k", "v");
    const auto before = a.getAttributeMap();
    const Bytes bad[] = {
        {1, 0, 0, 0, 1, 0, 0, 0, 'a', 0},           // value missing
        {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0},    // count far beyond the input
        {0xFF, 0xFF, 0xFF, 0xFF},                   // negative count
        {2, 0, 0},
    };
    for (const Bytes& in : bad) {
        const std::string m = thrownMessage([&] { a.attributesFromBin(in.data(), static_cast<unsigned>(in.size())); });
        EXPECT_EQ(m, "ktsl::Serializable::fromBin() - Failed!") << in.size();
        EXPECT_EQ(a.getAttributeMap(), before);
    }
    EXPECT_FALSE(a.attributesFromXML("<attrs/>"));
    EXPECT_FALSE(a.attributesFromXML("<attrs>text</attrs>"));
    EXPECT_EQ(a.getAttributeMap(), before);
}

// A cleared set of attributes keeps its nodes: setting the same names again allocates nothing and
// reads, orders and serializes exactly as fresh attributes do.
TEST(Attributes, ClearKeepsNodesForTheNextSet) {
    const char* const names[] = {"native-resolution", "frame-origin", "b"};
    const char* const values[] = {"176x144", "rtsp://camera.example/stream/one-long-path", "1"};
    kttl::Attributes fresh;
    for (int i = 0; i < 3; ++i) fresh.setAttribute(names[i], values[i]);
    // Keys made up front: building them is the caller's cost, not the attributes'.
    const kttl::String keys[] = {names[0], names[1], names[2]};
    const kttl::String vals[] = {values[0], values[1], values[2]};

    kttl::Attributes a;
    for (int i = 0; i < 3; ++i) a.setAttribute(keys[i], vals[i]);
    a.clearAttributes();
    EXPECT_EQ(a.attributeCount(), 0u);
    EXPECT_EQ(a.spareAttributeNodes(), 3u);
    EXPECT_EQ(a.getAttribute("b"), "");
    EXPECT_EQ(a.attributesBinLength(), 4u);
    kttl::Attributes copy(a);
    EXPECT_EQ(copy.spareAttributeNodes(), 0u) << "a copy takes the live entries only";

    // Set in the order opposite to the first: each node goes back to the name it held.
    const alloc_counter::Counts before = alloc_counter::now();
    for (int i = 2; i >= 0; --i) a.setAttribute(keys[i], vals[i]);
    if (KT_ALLOC_COUNTING) {
        EXPECT_EQ((alloc_counter::now() - before).all, 0);
    }
    EXPECT_EQ(a.spareAttributeNodes(), 0u);
    EXPECT_EQ(a.getAttributeMap(), fresh.getAttributeMap());
    EXPECT_EQ(a.getAttributeMap().begin()->first, "b");
    const auto bin = [](const kttl::Attributes& x) {
        Bytes out(x.attributesBinLength());
        x.attributesToBin(out.data());
        return out;
    };
    EXPECT_EQ(bin(a), bin(fresh)) << "name order in the binary form";
    EXPECT_EQ(a.attributesToXML("attrs"), fresh.attributesToXML("attrs"));

    // A removed name leaves its node too; the reserve stays bounded however many names were set.
    EXPECT_TRUE(a.removeAttribute("b"));
    EXPECT_FALSE(a.removeAttribute("b"));
    EXPECT_EQ(a.spareAttributeNodes(), 1u);
    for (int i = 0; i < 100; ++i) a.setAttribute(kttl::String::format("name-%03d-beyond-inline", i), "v");
    a.clearAttributes();
    EXPECT_EQ(a.spareAttributeNodes(), kttl::SpareNodes<kttl::Attributes::AttributeMap>::kDefaultLimit);
    a.setAttribute("z", "last");
    EXPECT_EQ(a.attributeCount(), 1u);
    EXPECT_EQ(a.getAttribute("z"), "last");
}
