#include "ktxml_DomIterator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DomIterator, WalksElementChildrenSkippingTextAndComments) {
    ktxml::DomIterator root;
    ASSERT_TRUE(root.parse("<?xml version=\"1.0\"?><!-- c --><list a=\"1\" kt:displayName=\"x &amp; y\">"
                           "text<one>1</one><!-- skip --><two/>tail<three><deep/></three></list>"));
    EXPECT_EQ(root.getName(), "list");
    EXPECT_TRUE(root.hasChildren());
    EXPECT_TRUE(root.hasAttribute("a"));
    EXPECT_EQ(root.getAttribute("kt:displayName"), "x & y");
    EXPECT_FALSE(root.hasAttribute("b"));
    EXPECT_EQ(root.getAttribute("b"), "");
    EXPECT_EQ(root.getValue(), "text");

    std::vector<std::string> names;
    std::vector<bool> kids;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        names.push_back(it.getName());
        kids.push_back(it.hasChildren());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(kids, (std::vector<bool>{false, false, true}));

    // A child iterator keeps the document alive on its own.
    ktxml::DomIterator child;
    {
        ktxml::DomIterator tmp;
        ASSERT_TRUE(tmp.parse("<a><b>v</b></a>"));
        child = tmp.childrenBegin();
    }
    EXPECT_EQ(child.getValue(), "v");
    EXPECT_EQ(child.toXML(), "<b>v</b>");
    child.nextSibling();
    EXPECT_TRUE(child.atEnd());
    EXPECT_EQ(child.getName(), "");
    EXPECT_TRUE(child.nextSibling().atEnd());  // stepping past the end is harmless
}

TEST(DomIterator, ToXmlIsCompactAndEscaped) {
    ktxml::DomIterator it;
    ASSERT_TRUE(it.parse("<r>\n  <item kt:displayName=\"a&quot;b\">x &lt; y</item>\n</r>"));
    EXPECT_EQ(it.toXML(), "<r><item kt:displayName=\"a&quot;b\">x &lt; y</item></r>");
    ktxml::DomIterator blank;
    ASSERT_TRUE(blank.parse("<t> </t>"));
    EXPECT_EQ(blank.getValue(), " ");
    ASSERT_TRUE(blank.parse("<t><![CDATA[<raw>]]></t>"));
    EXPECT_EQ(blank.getValue(), "<raw>");
}

TEST(DomIterator, BadDocumentsLeaveTheIteratorAtItsEnd) {
    for (const char* bad : {static_cast<const char*>(nullptr), "", "   ", "<a>", "<a></b>", "text only",
                            "<!-- only a comment -->", "<a x=1/>"}) {
        ktxml::DomIterator it;
        ASSERT_TRUE(it.parse("<ok/>"));
        EXPECT_FALSE(it.parse(bad)) << (bad ? bad : "(null)");
        EXPECT_TRUE(it.atEnd());
        EXPECT_FALSE(it.hasChildren());
        EXPECT_TRUE(it.childrenBegin().atEnd());
        EXPECT_EQ(it.toXML(), "");
        EXPECT_EQ(it.getValue(), "");
    }
}
