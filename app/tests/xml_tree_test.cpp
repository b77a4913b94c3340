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

TEST(XmlTree, BuildsTheElementTree) {
    Tree t;
    ASSERT_EQ(t.parse("<settings>\n  <a>1</a>\n  <b> 50 </b>\n  <c>\n \t </c><d/><e x=\"1\" />"
                      "<zones><polygon><point><x>0.1</x><y>0.2</y></point></polygon></zones></settings>trailing<x>"),
              0);
    EXPECT_STREQ(t.root.name, "settings");
    EXPECT_EQ(t.root.depth, 1);
    EXPECT_EQ(t.root.closed, 1);
    ASSERT_EQ(t.root.childCount, 6);
    const char* names[] = {"a", "b", "c", "d", "e", "zones"};
    const char* values[] = {"1", " 50 ", "", "", "", ""};
    for (int i = 0; i < 6; ++i) {
        EXPECT_STREQ(t.root.children[i]->name, names[i]);
        EXPECT_STREQ(t.root.children[i]->value, values[i]) << names[i];
        EXPECT_EQ(t.root.children[i]->depth, 2);
        EXPECT_EQ(t.root.children[i]->closed, 1);
    }
    const treeNode* zones = t.root.children[5];
    ASSERT_EQ(zones->childCount, 1);
    const treeNode* point = zones->children[0]->children[0];
    ASSERT_EQ(point->childCount, 2);
    EXPECT_STREQ(point->children[0]->value, "0.1");
    EXPECT_STREQ(point->children[1]->value, "0.2");
    EXPECT_EQ(point->children[1]->depth, 5);
}

TEST(XmlTree, AcceptsAndRejects) {
    struct Case {
        const char* what;
        std::string text;
        int ok;  // 1 parses, 0 fails
    };
    const Case cases[] = {
        {"empty text", "", 1},
        {"text without tags", "just words", 1},
        {"lone empty root", "<s/>", 1},
        {"xml declaration first", "<?xml version=\"1.0\"?><s><a>1</a></s>", 0},
        {"comment inside", "<s><!-- note --><a>1</a></s>", 0},
        {"attributes on an element with content", "<s><a x=\"1\">v</a></s>", 0},
        {"unclosed root", "<s><a>1</a>", 0},
        {"crossed end tags", "<s><a><b>1</a></b></s>", 0},
        {"end tag first", "</s>", 0},
        {"wrong end tag", "<s><a>1</b></s>", 0},
        {"< without >", "<s><a", 0},
        {"< without > after text", "<s>text <", 0},
        {"closing text after root ignored", "<s></s></t></u>", 1},
    };
    for (const Case& c : cases) {
        Tree t;
        EXPECT_EQ(t.parse(c.text) == 0, c.ok == 1) << c.what;
    }
}

TEST(XmlTree, LimitsOnBothSides) {
    // Tag length: "<" + name + ">" is at most 63 characters; names and end tags likewise.
    const std::string name60(60, 'n'), name61(61, 'n'), name62(62, 'n');
    // Element text: 255 characters fit, 256 do not.
    const std::string value255(255, 'v'), value256(256, 'v');
    struct Case {
        const char* what;
        std::string text;
        int ok;
    };
    const Case cases[] = {
        {"63-character end tag", "<s><" + name60 + ">1</" + name60 + "></s>", 1},
        {"64-character end tag", "<s><" + name61 + ">1</" + name61 + "></s>", 0},
        {"64-character opening tag", "<s><" + name62 + ">1</" + name60 + "></s>", 0},
        {"64-character empty tag", "<s><" + std::string(61, 'e') + "/></s>", 0},
        {"63-character empty tag", "<s><" + std::string(60, 'e') + "/></s>", 1},
        {"255-character value", "<s><a>" + value255 + "</a></s>", 1},
        {"256-character value", "<s><a>" + value256 + "</a></s>", 0},
        {"256 blanks are the empty value", "<s><a>" + std::string(256, ' ') + "</a></s>", 1},
        {"64 children", "<s>" + repeat("<a>1</a>", 64) + "</s>", 1},
        {"65 children", "<s>" + repeat("<a>1</a>", 65) + "</s>", 0},
        {"65 empty children", "<s>" + repeat("<a/>", 65) + "</s>", 0},
        {"depth 32", nested(32), 1},
        {"depth 33", nested(33), 0},
        {"empty element below depth 32", nested(31).insert(31 * 3, "<z/>"), 1},
        {"empty element at depth 33", nested(32).insert(32 * 3, "<z/>"), 0},
        // 1 + 63 + 63 x 64 = 4096 elements reach the node limit; one more is refused.
        {"elements up to the limit", "<s>" + repeat("<a>" + repeat("<b/>", 64) + "</a>", 63) + "</s>", 1},
        {"one element beyond the limit", "<s>" + repeat("<a>" + repeat("<b/>", 64) + "</a>", 63) + "<c/></s>", 0},
        {"unclosed tag at the end of a huge text", "<s>" + std::string(4 << 20, 'x') + "<a", 0},
        {"huge value", "<s><a>" + std::string(4 << 20, 'x') + "</a></s>", 0},
        {"huge nesting", repeat("<a>", 1 << 20), 0},
    };
    for (const Case& c : cases) {
        Tree t;
        EXPECT_EQ(t.parse(c.text) == 0, c.ok == 1) << c.what;
    }
}

TEST(XmlTree, ReadsOneTagAtATime) {
    char name[TREE_NAME_SIZE] = "unset", closeName[TREE_NAME_SIZE] = "unset", value[TREE_VALUE_SIZE] = "unset";
    int kind = 99;
    const char* text = "  <a b='1'>text</a> <c d='2'/><e/>";
    const char* p = parseXmlBuf(text, name, closeName, value, &kind);
    EXPECT_EQ(kind, XML_TAG_OPEN);
    EXPECT_STREQ(name, "a b='1'");
    EXPECT_EQ(p, text + 11);
    p = parseXmlBuf(p, name, closeName, value, &kind);
    EXPECT_EQ(kind, XML_TAG_CLOSE);
    EXPECT_STREQ(closeName, "a");
    EXPECT_STREQ(value, "text");
    p = parseXmlBuf(p, name, closeName, value, &kind);
    EXPECT_EQ(kind, XML_TAG_EMPTY);
    EXPECT_STREQ(name, "c");
    p = parseXmlBuf(p, name, closeName, value, &kind);
    EXPECT_EQ(kind, XML_TAG_EMPTY);
    EXPECT_STREQ(name, "e");
    EXPECT_EQ(parseXmlBuf(p, name, closeName, value, &kind), nullptr);
    EXPECT_EQ(kind, XML_TAG_NONE);
    const std::string open63 = "<" + std::string(61, 'n') + ">", open64 = "<" + std::string(62, 'n') + ">";
    EXPECT_EQ(parseXmlBuf(open63.c_str(), name, closeName, value, &kind), open63.c_str() + 63);
    EXPECT_EQ(kind, XML_TAG_OPEN);
    EXPECT_EQ(std::string(name), std::string(61, 'n'));
    EXPECT_EQ(parseXmlBuf(open64.c_str(), name, closeName, value, &kind), nullptr);
    EXPECT_EQ(kind, XML_TAG_ERROR);
    EXPECT_EQ(parseXmlBuf("<a", name, closeName, value, &kind), nullptr);
    EXPECT_EQ(kind, XML_TAG_ERROR);
    EXPECT_EQ(parseXmlBuf(nullptr, name, closeName, value, &kind), nullptr);
    EXPECT_EQ(kind, XML_TAG_ERROR);
    EXPECT_EQ(parseXmlBuf("<a>", nullptr, closeName, value, &kind), nullptr);
    EXPECT_EQ(kind, XML_TAG_ERROR);

    // A parser-made node and its subtree are released by freeTreeNode (checked under the sanitizers);
    // a root that is not empty is refused rather than leaked.
    treeNode* root = static_cast<treeNode*>(calloc(1, sizeof(treeNode)));
    ASSERT_EQ(xml2Tree("<s><a><b>1</b></a></s>", root), 0);
    EXPECT_NE(xml2Tree("<s/>", root), 0);
    freeTreeNode(root);
    freeTreeNode(nullptr);
    EXPECT_NE(xml2Tree(nullptr, nullptr), 0);
}
