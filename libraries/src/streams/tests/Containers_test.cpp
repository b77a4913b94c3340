// Containers' ids and forms, and hostile sequence input (random damage is left to the fuzz targets).
#include <gtest/gtest.h>

#include <string>

#include "../../misc/tests/TestBytes.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "ktsl_IntMap.h"
#include "ktsl_List.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"

namespace {

// Stands in for a tracked object: only its id matters for the container ids.
struct FakeObject : kttl::Integer {
    unsigned short getTypeId() const override { return ktsl::TypeId::Object; }
};

using StrList = ktsl::List<kttl::String>;
using IntSet = ktsl::Set<kttl::Integer>;
using StrMap = ktsl::StringMap<kttl::String>;

// A sequence form: u32 body length, the element id and count records, then `records`.
Bytes sequence(int elementId, int count, const Bytes& records) {
    Bytes b;
    put32(b, static_cast<unsigned>(24 + records.size()));
    putIntegerRecord(b, elementId);
    putIntegerRecord(b, count);
    b.insert(b.end(), records.begin(), records.end());
    return b;
}

// One-character String forms, back to back, after `prefix`.
Bytes chars(const char* s, bool asRecords, Bytes prefix = {}) {
    for (; *s; ++s) {
        if (asRecords) putRecordHeader(prefix, 501, 6);
        put32(prefix, 1);
        prefix.push_back(static_cast<unsigned char>(*s));
        prefix.push_back(0);
    }
    return prefix;
}

}  // namespace

TEST(Containers, TypeIdsDeriveFromTheElement) {
    EXPECT_EQ(StrList().getTypeId(), 5501);
    EXPECT_EQ(IntSet().getTypeId(), 10504);
    EXPECT_EQ(StrMap().getTypeId(), 15501);
    EXPECT_EQ(ktsl::IntMap<FakeObject>().getTypeId(), 20004);
    EXPECT_EQ(ktsl::StringMap<StrList>().getTypeId(), 20501);
    EXPECT_EQ(StrList().getTypeName() + IntSet().getTypeName() + StrMap().getTypeName() +
                  ktsl::IntMap<kttl::String>().getTypeName(),
              "ListSetStringMapIntMap");
}

TEST(Containers, SequenceBinaryFormIsAStreamOfIdCountAndElements) {
    const Bytes empty = sequence(501, 0, {}), three = sequence(501, 3, chars("bab", true));
    EXPECT_TRUE(empty.size() == 28u && binOf(StrList()) == empty);
    EXPECT_EQ(binOf(StrList{"b", "a", "b"}), three);
    StrList back{"old"};
    EXPECT_TRUE(readBin(back, three) == three.size() && back == (StrList{"b", "a", "b"}));
    // A set shares the form and keeps order and uniqueness.
    IntSet setBack;
    EXPECT_TRUE(readBin(setBack, binOf(IntSet{3, 1, 2, 1})) == 28u + 3 * 12 && setBack == (IntSet{1, 2, 3}));
}

TEST(Containers, HostileSequenceInputsAreRefusedAndLeaveTheTargetUnchanged) {
    auto patched = [](Bytes b, size_t at, const Bytes& with) {
        std::copy(with.begin(), with.end(), b.begin() + at);
        return b;
    };
    const Bytes ok = binOf(StrList{"abc"});
    struct Case { const char* what; Bytes in; };
    const Case cases[] = {
        {"count beyond the bytes", sequence(501, 2, {0xF5, 1, 0, 0, 0, 0, 0, 0})},  // room for one record
        {"huge count", sequence(501, 0x7FFFFFFF, {})},
        {"negative count", sequence(501, -1, {})},
        {"element id differs", sequence(504, 1, chars("a", true))},
        {"record of another type", sequence(501, 1, {0xF8, 1, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0})},
        {"body length one past the end", patched(sequence(501, 0, {}), 0, {25})},
        {"body length wraps", patched(sequence(501, 0, {}), 0, {0xFF, 0xFF, 0xFF, 0xFF})},
        {"truncated", Bytes(ok.begin(), ok.end() - 1)},
        {"element length runs past its record", sequence(501, 1,
                                                         patched(chars("a", true), 8, {0xFF, 0xFF, 0xFF}))},
        {"count record missing", {12, 0, 0, 0, 0xF8, 1, 0, 0, 4, 0, 0, 0, 0xF5, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        StrList l{"keep"};
        ktsl::Set<kttl::String> s{"keep"};
        EXPECT_TRUE(fromBinRefused(l, c.in) && l == StrList{"keep"} && fromBinRefused(s, c.in) &&
                    s.size() == 1u) << c.what;
    }
}

TEST(Containers, MapBinaryFormIsCountThenKeyValuePairsInKeyOrder) {
    const Bytes want = chars("a1b2", false, {2, 0, 0, 0});
    EXPECT_EQ(binOf(StrMap{{"b", "2"}, {"a", "1"}}), want);
    StrMap back{{"x", "y"}};
    EXPECT_TRUE(readBin(back, want) == want.size() && back == (StrMap{{"a", "1"}, {"b", "2"}}));
    readBin(back, chars("a1a2", false, {2, 0, 0, 0}));  // a repeated key keeps its first value
    EXPECT_EQ(back, (StrMap{{"a", "1"}}));

    const ktsl::IntMap<kttl::Double> im{{-1, 0.5}, {7, 2.0}};
    ktsl::IntMap<kttl::Double> imBack;
    EXPECT_TRUE(readBin(imBack, binOf(im)) == 4u + 2 * 12 && imBack == im);
    const ktsl::StringMap<StrList> nested{{"one", StrList{"x"}}, {"none", StrList()}};
    ktsl::StringMap<StrList> nestedBack;
    EXPECT_TRUE(readBin(nestedBack, binOf(nested)) == nested.getBinLength() && nestedBack == nested);
}

TEST(Containers, XmlForms) {
    const StrList l{"x&y", ""};
    EXPECT_EQ(l.toXML(), "<List><kttl_String>x&amp;y</kttl_String><kttl_String/></List>");
    StrList lBack;
    EXPECT_TRUE(lBack.fromXML(l.toXML("names").c_str()) && lBack == l);
    EXPECT_EQ(IntSet({2, 1}).toXML("ids"), "<ids><item>1</item><item>2</item></ids>\n");
    EXPECT_EQ(IntSet({2, 1}).toXML("ids", "id"), "<ids><id>1</id><id>2</id></ids>\n");
    IntSet sBack{9};
    ASSERT_TRUE(sBack.fromXML("<ids><item>4</item><item>bad</item><other>5</other><item>4</item></ids>"));
    EXPECT_EQ(sBack, (IntSet{4, 5}));  // every child that reads, whatever its tag
    for (const char* bad : {"<ids/>", "<ids>3</ids>", "not xml"}) EXPECT_FALSE(sBack.fromXML(bad)) << bad;
    EXPECT_EQ(sBack, (IntSet{4, 5}));

    const StrMap m{{"b", "2"}, {"a \"q\"", "<1>"}, {"e", ""}};
    EXPECT_EQ(m.toXML("map"), "<map xmlns:kt=\"http://schemas.veltrano.com/settings/1.0\">"
                              "<item kt:displayName=\"a &quot;q&quot;\">&lt;1&gt;</item>"
                              "<item kt:displayName=\"b\">2</item><item kt:displayName=\"e\"/></map>");
    StrMap mBack;
    EXPECT_TRUE(mBack.fromXML(m.toXML("map").c_str()) && mBack == m);

    ktsl::StringMap<kttl::Integer> im{{"keep", 1}};
    EXPECT_TRUE(!im.fromXML("<map><unclosed></map>") && im.size() == 1u);
    ASSERT_TRUE(im.fromXML("<map xmlns:kt=\"u\">"
                           "<item kt:displayName=\"width\">5</item>"
                           "<height>7</height>"                      // no display name: element name
                           "<item kt:displayName=\"\">8</item>"       // empty display name: element name
                           "<item kt:displayName=\"width\">6</item>"  // repeated key: first wins
                           "<item kt:displayName=\"bad\">x</item>"    // value that does not read: skipped
                           "</map>"));
    EXPECT_EQ(im, (ktsl::StringMap<kttl::Integer>{{"width", 5}, {"height", 7}, {"item", 8}}));

    ktsl::IntMap<kttl::String> general;
    expectThrowMessage([&] { general.toXML("t"); }, "streams/ktsl_Map",
                       "ktsl::Map::toXML - not defined for this type of map.");
    EXPECT_THROW(general.fromXML("<t/>"), kttl::Exception);
}
