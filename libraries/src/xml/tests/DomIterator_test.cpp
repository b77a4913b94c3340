#include "ktxml_DomIterator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DomIterator, WalksElementChildrenSkippingTextAndComments) {
    ktxml::DomIterator root;
    ASSERT_TRUE(root.parse("<?xml version=\"1.0\"?><!-- c --><list a=\"1\" kt:displayName=\"x &amp; y\">"
                           "text<one>1</one><!-- skip --><two/>tail<three><deep/></three></list>"));
    EXPECT_EQ(root.getName(), "list");
    EXPECT_TRUE(root.hasAttribute("a"));
    EXPECT_EQ(root.getAttribute("kt:displayName"), "x & y");
    EXPECT_FALSE(root.hasAttribute("b"));
    EXPECT_EQ(root.getValue(), "text");
    std::string walk;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling())
        walk += it.getName() + (it.hasChildren() ? "+ " : " ");
    EXPECT_EQ(walk, "one two three+ ");

    // A child iterator keeps the document alive on its own; its XML is compact and escaped.
    ktxml::DomIterator child;
    {
        ktxml::DomIterator tmp;
        ASSERT_TRUE(tmp.parse("<r>\n  <item kt:displayName=\"a&quot;b\">x &lt; y</item>\n</r>"));
        child = tmp.childrenBegin();
    }
    EXPECT_EQ(child.toXML(), "<item kt:displayName=\"a&quot;b\">x &lt; y</item>");
    EXPECT_EQ(child.getValue(), "x < y");
    EXPECT_TRUE(child.nextSibling().atEnd());
    EXPECT_EQ(child.getName(), "");
    EXPECT_TRUE(child.nextSibling().atEnd());  // stepping past the end is harmless

    ASSERT_TRUE(child.parse("<t> </t>"));  // a blank value is a value
    EXPECT_EQ(child.getValue(), " ");
    ASSERT_TRUE(child.parse("<t><![CDATA[<raw>]]></t>"));
    EXPECT_EQ(child.getValue(), "<raw>");
}

TEST(DomIterator, BadDocumentsLeaveTheIteratorAtItsEnd) {
    for (const char* bad : {static_cast<const char*>(nullptr), "", "   ", "<a>", "<a></b>", "text only",
                            "<!-- only a comment -->", "<a x=1/>"}) {
        ktxml::DomIterator it;
        ASSERT_TRUE(it.parse("<ok><child/></ok>"));
        EXPECT_FALSE(it.parse(bad)) << (bad ? bad : "(null)");
        EXPECT_TRUE(it.atEnd());
        EXPECT_FALSE(it.hasChildren());
        EXPECT_TRUE(it.childrenBegin().atEnd());
        EXPECT_EQ(it.toXML() + it.getValue() + it.getName(), "");
    }
}
