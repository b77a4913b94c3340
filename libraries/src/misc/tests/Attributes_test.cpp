#include "kttl_Attributes.h"

#include <gtest/gtest.h>

#include <cstddef>

#include "AllocCounter.h"
#include "TestBytes.h"

namespace {
Bytes binOfAttributes(const kttl::Attributes& x) {
    Bytes out(x.attributesBinLength());
    EXPECT_EQ(x.attributesToBin(out.data()), out.size());
    return out;
}
}  // namespace

TEST(Attributes, AccessAndStringMapForms) {
    kttl::Attributes a, b, c;
    EXPECT_EQ(a.getAttribute("missing"), "");
    a.setAttribute("b", "2");
    a.setAttribute("a", "x&\"y");
    a.setAttribute("b", "3");
    EXPECT_TRUE(a.attributeCount() == 2u && a.getAttribute("b") == "3");

    // Count, then name/value String forms in name order; reading replaces what was there.
    const Bytes out = binOfAttributes(a);
    EXPECT_EQ(out.size(), 4u + 6 + 9 + 6 + 6);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 10), (Bytes{2, 0, 0, 0, 1, 0, 0, 0, 'a', 0}));
    b.setAttribute("old", "gone");
    EXPECT_EQ(b.attributesFromBin(out.data(), static_cast<unsigned>(out.size())), out.size());
    EXPECT_EQ(b.getAttributeMap(), a.getAttributeMap());

    EXPECT_EQ(a.attributesToXML("attrs"),
              "<attrs xmlns:kt=\"http://schemas.veltrano.com/settings/1.0\">"
              "<item kt:displayName=\"a\">x&amp;&quot;y</item><item kt:displayName=\"b\">3</item></attrs>");
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
        const std::string m = thrownMessage([&] { a.attributesFromBin(in.data(), unsigned(in.size())); });
        EXPECT_TRUE(m == "ktsl::Serializable::fromBin() - Failed!" && a.getAttributeMap() == before) << m;
    }
    EXPECT_FALSE(a.attributesFromXML("<attrs/>") || a.attributesFromXML("<attrs>text</attrs>"));
    EXPECT_EQ(a.getAttributeMap(), before);
}

// A cleared set of attributes keeps its nodes: setting the same names again allocates nothing and
// reads, orders and serializes exactly as fresh attributes do.
TEST(Attributes, ClearKeepsNodesForTheNextSet) {
    // Keys made up front: building them is the caller's cost, not the attributes'.
    const kttl::String keys[] = {"native-resolution", "frame-origin", "b"};
    const kttl::String vals[] = {"176x144", "rtsp://camera.example/stream/one-long-path", "1"};
    kttl::Attributes fresh, a;
    for (int i = 0; i < 3; ++i) {
        fresh.setAttribute(keys[i], vals[i]);
        a.setAttribute(keys[i], vals[i]);
    }
    a.clearAttributes();
    EXPECT_TRUE(a.attributeCount() == 0u && a.spareAttributeNodes() == 3u);
    EXPECT_TRUE(a.getAttribute("b") == "" && a.attributesBinLength() == 4u);
    EXPECT_EQ(kttl::Attributes(a).spareAttributeNodes(), 0u) << "a copy takes the live entries only";

    // Set in the order opposite to the first: each node goes back to the name it held.
    const alloc_counter::Counts before = alloc_counter::now();
    for (int i = 2; i >= 0; --i) a.setAttribute(keys[i], vals[i]);
    const long allocations = (alloc_counter::now() - before).all;
    EXPECT_TRUE(!KT_ALLOC_COUNTING || allocations == 0) << allocations;
    EXPECT_TRUE(a.spareAttributeNodes() == 0u && a.getAttributeMap() == fresh.getAttributeMap());
    EXPECT_EQ(a.getAttributeMap().begin()->first, "b");
    EXPECT_EQ(binOfAttributes(a), binOfAttributes(fresh)) << "name order in the binary form";
    EXPECT_EQ(a.attributesToXML("attrs"), fresh.attributesToXML("attrs"));

    // A removed name leaves its node too; the reserve stays bounded however many names were set.
    EXPECT_TRUE(a.removeAttribute("b") && !a.removeAttribute("b") && a.spareAttributeNodes() == 1u);
    for (int i = 0; i < 100; ++i) a.setAttribute(kttl::String::format("name-%03d-beyond-inline", i), "v");
    a.clearAttributes();
    EXPECT_EQ(a.spareAttributeNodes(), kttl::SpareNodes<kttl::Attributes::AttributeMap>::kDefaultLimit);
    a.setAttribute("z", "last");
    EXPECT_TRUE(a.attributeCount() == 1u && a.getAttribute("z") == "last");
}
