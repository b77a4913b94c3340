// The settings tree parser: structure, values, and every fixed limit on both of its sides.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "xml_tree.h"

namespace {

// A root record on the stack, released on scope exit.
struct Tree {
    treeNode root;
    Tree() { std::memset(&root, 0, sizeof(root)); }
    ~Tree() { clearTreeNode(&root); }
    int parse(const std::string& text) { return xml2Tree(text.c_str(), &root); }
};

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

// n nested elements "<e>" ... "</e>" around a text.
std::string nested(int n) { return repeat("<e>", n) + "x" + repeat("</e>", n); }

}  // namespace

TEST(XmlTree, AcceptsAndRejectsOnBothSidesOfEveryLimit) {
    const std::string name60(60, 'n'), name61(61, 'n'), name62(62, 'n');
    // 1 + 63 + 63 x 64 = 4096 elements reach the node limit.
    const std::string fullTree = "<s>" + repeat("<a>" + repeat("<b/>", 64) + "</a>", 63);
    struct Case {
        const char* what;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {"empty text", "", true},
        {"text without tags", "just words", true},
        {"lone empty root", "<s/>", true},
        {"xml declaration first", "<?xml version=\"1.0\"?><s><a>1</a></s>", false},
        {"comment inside", "<s><!-- note --><a>1</a></s>", false},
        {"attributes on an element with content", "<s><a x=\"1\">v</a></s>", false},
        {"unclosed root", "<s><a>1</a>", false},
        {"crossed end tags", "<s><a><b>1</a></b></s>", false},
        {"end tag first", "</s>", false},
        {"wrong end tag", "<s><a>1</b></s>", false},
        {"< without >", "<s><a", false},
        {"< without > after text", "<s>text <", false},
        {"closing text after root ignored", "<s></s></t></u>", true},
        {"63-character end tag", "<s><" + name60 + ">1</" + name60 + "></s>", true},
        {"64-character end tag", "<s><" + name61 + ">1</" + name61 + "></s>", false},
        {"64-character opening tag", "<s><" + name62 + ">1</" + name60 + "></s>", false},
        {"64-character empty tag", "<s><" + name61 + "/></s>", false},
        {"63-character empty tag", "<s><" + name60 + "/></s>", true},
        {"255-character value", "<s><a>" + std::string(255, 'v') + "</a></s>", true},
        {"256-character value", "<s><a>" + std::string(256, 'v') + "</a></s>", false},
        {"256 blanks are the empty value", "<s><a>" + std::string(256, ' ') + "</a></s>", true},
        {"64 children", "<s>" + repeat("<a>1</a>", 64) + "</s>", true},
        {"65 children", "<s>" + repeat("<a>1</a>", 65) + "</s>", false},
        {"65 empty children", "<s>" + repeat("<a/>", 65) + "</s>", false},
        {"depth 32", nested(32), true},
        {"depth 33", nested(33), false},
        {"empty element below depth 32", nested(31).insert(31 * 3, "<z/>"), true},
        {"empty element at depth 33", nested(32).insert(32 * 3, "<z/>"), false},
        {"elements up to the limit", fullTree + "</s>", true},
        {"one element beyond the limit", fullTree + "<c/></s>", false},
        {"unclosed tag at the end of a huge text", "<s>" + std::string(4 << 20, 'x') + "<a", false},
        {"huge value", "<s><a>" + std::string(4 << 20, 'x') + "</a></s>", false},
        {"huge nesting", repeat("<a>", 1 << 20), false},
    };
    for (const Case& c : cases) {
        Tree t;
        EXPECT_EQ(t.parse(c.text) == 0, c.ok) << c.what;
    }
}

TEST(XmlTree, ReadsOneTagAtATimeAndFreesItsNodes) {
    char name[TREE_NAME_SIZE] = "", closeName[TREE_NAME_SIZE] = "", value[TREE_VALUE_SIZE] = "";
    int kind = 99;
    const char* text = "  <a b='1'>text</a> <c d='2'/>";
    const char* p = parseXmlBuf(text, name, closeName, value, &kind);
    EXPECT_EQ(p, text + 11);
    EXPECT_EQ(kind, 0);
    EXPECT_STREQ(name, "a b='1'");
    p = parseXmlBuf(p, name, closeName, value, &kind);
    EXPECT_EQ(kind, 1);
    EXPECT_STREQ(closeName, "a");
    EXPECT_STREQ(value, "text");
    p = parseXmlBuf(p, name, closeName, value, &kind);
    EXPECT_EQ(kind, 2);
    EXPECT_STREQ(name, "c");
    EXPECT_EQ(parseXmlBuf(p, name, closeName, value, &kind), nullptr);
    EXPECT_EQ(kind, XML_TAG_NONE);

    // A parser-made node and its subtree are released by freeTreeNode (checked under the sanitizers);
    // a root that is not empty is refused rather than leaked.
    treeNode* root = static_cast<treeNode*>(calloc(1, sizeof(treeNode)));
    ASSERT_EQ(xml2Tree("<s><a><b>1</b></a></s>", root), 0);
    EXPECT_NE(xml2Tree("<s/>", root), 0);
    freeTreeNode(root);
    EXPECT_NE(xml2Tree(nullptr, nullptr), 0);
}
