#include "kttl_Attributes.h"

#include <gtest/gtest.h>

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
