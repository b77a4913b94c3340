// xml_tree: the small fixed-size XML tree parser the settings and zone texts are read with.
//
// It knows elements and their texts only: attributes of empty-element tags are skipped, attributes of
// other tags stay part of the name, and comments, declarations, character references and CDATA are not
// recognised (an XML declaration opens an element that never closes, so such a document fails).
// Every fixed limit below is enforced: a document beyond any of them is a parse failure, never an
// overrun.
#pragma once

#include <cstdint>

// Limits of the format.
enum {
    TREE_MAX_CHILDREN = 64,  // children of one element
    TREE_VALUE_SIZE = 256,   // element text, terminator included (255 characters)
    TREE_NAME_SIZE = 64,     // element name, terminator included (63 characters)
    TREE_MAX_TAG = 63,       // one tag, "<" and ">" included
    TREE_MAX_DEPTH = 32,     // nesting depth; keeps the depth-first searches' recursion shallow
    TREE_MAX_NODES = 4096    // elements in one document, root included (2.4 MB of nodes on the camera)
};

// One element. The root record belongs to the caller; every other node is allocated by the parser and
// owned by its parent.
struct treeNode {
    treeNode* children[TREE_MAX_CHILDREN];  // child elements in document order
    int32_t childCount;                     // children used, 0..64
    char value[TREE_VALUE_SIZE];            // element text, zero-terminated
    char name[TREE_NAME_SIZE];              // element name, zero-terminated
    int32_t depth;                          // nesting depth, root = 1
    int32_t closed;                         // 1 once the element's end was seen
};

// Kinds of tag parseXmlBuf reports.
enum {
    XML_TAG_OPEN = 0,   // <name ...>
    XML_TAG_CLOSE = 1,  // </name>
    XML_TAG_EMPTY = 2,  // <name .../>
    XML_TAG_NONE = 3,   // no further tag
    XML_TAG_ERROR = -1  // a "<" without ">", or a tag, name or value beyond the limits
};

// Reads the next tag at or after `text`. Returns the position just after its ">" and sets `kind`;
// returns null with kind XML_TAG_NONE when no "<" follows, or with XML_TAG_ERROR when the tag is
// malformed or too long.
//   open:  `name` = everything between "<" and ">" (attributes included);
//   empty: `name` = the text after "<" up to the first blank, or up to the "/";
//   close: `closeName` = the text between "</" and ">", `value` = the text from `text` up to the "<",
//          or "" when that text holds only characters with codes up to 32.
// `name` and `closeName` hold TREE_NAME_SIZE bytes, `value` TREE_VALUE_SIZE; the untouched ones are
// left as they were. Null arguments give XML_TAG_ERROR.
const char* parseXmlBuf(const char* text, char* name, char* closeName, char* value, int* kind);

// Parses `text` into `root`, which must start empty (no children); 0 on success, nonzero on failure.
// On failure the nodes made so far stay attached to `root`, to be released with freeTreeNode. Text
// after the root element's end is ignored. A null text or root fails.
int xml2Tree(const char* text, treeNode* root);

// Releases every child of `node` (recursively) and empties it: no children, empty name and value.
// The node itself is not freed (a root belongs to the caller). Null does nothing.
void clearTreeNode(treeNode* node);

// Releases `node` and its whole subtree (a node made by the parser). Null does nothing.
void freeTreeNode(treeNode* node);
