// xml_tree: the small fixed-size XML tree parser the settings and zone texts are read with.
#include "xml_tree.h"

#include <cstdlib>
#include <cstring>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Copies [begin, end) into dst of `size` bytes with a terminator; false (dst untouched) when too long.
bool copyBounded(char* dst, size_t size, const char* begin, const char* end) {
    const size_t n = static_cast<size_t>(end - begin);
    if (n >= size) return false;
    std::memcpy(dst, begin, n);
    dst[n] = '\0';
    return true;
}

bool onlyControlOrBlank(const char* begin, const char* end) {
    for (const char* p = begin; p < end; ++p) {
        if (static_cast<unsigned char>(*p) > 32) return false;
    }
    return true;
}

// The first unclosed element at `depth` (with `name`, unless null), depth first from `node`. The
// depth limit bounds the recursion.
treeNode* findUnclosed(treeNode* node, int32_t depth, const char* name) {
    if (node->closed == 0 && node->depth == depth && (name == nullptr || std::strcmp(node->name, name) == 0)) {
        return node;
    }
    if (node->depth >= depth) return nullptr;  // children are deeper still
    for (int32_t i = 0; i < node->childCount; ++i) {
        treeNode* found = findUnclosed(node->children[i], depth, name);
        if (found != nullptr) return found;
    }
    return nullptr;
}

treeNode* addChild(treeNode* parent, const char* name, int32_t depth, int& nodes) {
    if (parent->childCount >= TREE_MAX_CHILDREN || nodes >= TREE_MAX_NODES) return nullptr;
    treeNode* child = static_cast<treeNode*>(std::calloc(1, sizeof(treeNode)));
    if (child == nullptr) return nullptr;
    std::strcpy(child->name, name);  // names come from parseXmlBuf, always shorter than the field
    child->depth = depth;
    parent->children[parent->childCount++] = child;
    ++nodes;
    return child;
}

}  // namespace

const char* parseXmlBuf(const char* text, char* name, char* closeName, char* value, int* kind) {
    if (kind == nullptr) return nullptr;
    if (text == nullptr || name == nullptr || closeName == nullptr || value == nullptr) {
        *kind = XML_TAG_ERROR;
        return nullptr;
    }
    const char* open = std::strchr(text, '<');
    if (open == nullptr) {
        *kind = XML_TAG_NONE;
        return nullptr;
    }
    // The tag ends at the next ">"; it may not run past the terminator or the tag limit.
    const char* close = open + 1;
    while (*close != '\0' && *close != '>') {
        if (close - open + 1 >= TREE_MAX_TAG) {
            *kind = XML_TAG_ERROR;
            return nullptr;
        }
        ++close;
    }
    if (*close != '>') {
        *kind = XML_TAG_ERROR;
        return nullptr;
    }
    if (open[1] == '/') {
        if (!copyBounded(closeName, TREE_NAME_SIZE, open + 2, close)) {
            *kind = XML_TAG_ERROR;
            return nullptr;
        }
        if (onlyControlOrBlank(text, open)) {
            value[0] = '\0';
        } else if (!copyBounded(value, TREE_VALUE_SIZE, text, open)) {
            *kind = XML_TAG_ERROR;
            return nullptr;
        }
        *kind = XML_TAG_CLOSE;
    } else if (close - open >= 2 && close[-1] == '/') {
        const char* end = open + 1;
        while (end < close - 1 && !isBlank(*end)) ++end;
        copyBounded(name, TREE_NAME_SIZE, open + 1, end);  // the tag limit keeps it short enough
        *kind = XML_TAG_EMPTY;
    } else {
        copyBounded(name, TREE_NAME_SIZE, open + 1, close);
        *kind = XML_TAG_OPEN;
    }
    return close + 1;
}

int xml2Tree(const char* text, treeNode* root) {
    if (text == nullptr || root == nullptr || root->childCount != 0) return 1;
    root->name[0] = '\0';
    root->value[0] = '\0';
    root->depth = 0;
    root->closed = 0;
    char name[TREE_NAME_SIZE] = {0};
    char closeName[TREE_NAME_SIZE] = {0};
    char value[TREE_VALUE_SIZE] = {0};
    int32_t depth = 0;
    bool rootMade = false;
    int nodes = 1;
    const char* position = text;
    for (;;) {
        int kind = XML_TAG_NONE;
        const char* next = parseXmlBuf(position, name, closeName, value, &kind);
        if (kind == XML_TAG_NONE) return depth == 0 ? 0 : 1;
        if (kind == XML_TAG_ERROR) return 1;
        if (kind == XML_TAG_OPEN) {
            ++depth;
            if (depth > TREE_MAX_DEPTH) return 1;
            if (!rootMade) {
                std::strcpy(root->name, name);
                root->depth = 1;
                rootMade = true;
            } else {
                treeNode* parent = findUnclosed(root, depth - 1, nullptr);
                if (parent == nullptr || addChild(parent, name, depth, nodes) == nullptr) return 1;
            }
        } else if (kind == XML_TAG_CLOSE) {
            if (depth == 0 || !rootMade) return 1;
            treeNode* node = findUnclosed(root, depth, closeName);
            --depth;
            if (node == nullptr) return 1;
            node->closed = 1;
            std::strcpy(node->value, value);
            if (depth == 0) return 0;
        } else {  // empty element
            if (depth == 0) return 0;
            if (depth + 1 > TREE_MAX_DEPTH) return 1;
            treeNode* parent = rootMade ? findUnclosed(root, depth, nullptr) : nullptr;
            if (parent != nullptr) {
                treeNode* child = addChild(parent, name, depth + 1, nodes);
                if (child == nullptr) return 1;
                child->closed = 1;
            }
        }
        position = next;
    }
}

void clearTreeNode(treeNode* node) {
    if (node == nullptr) return;
    for (int32_t i = 0; i < node->childCount && i < TREE_MAX_CHILDREN; ++i) freeTreeNode(node->children[i]);
    std::memset(node->children, 0, sizeof(node->children));
    node->childCount = 0;
    node->name[0] = '\0';
    node->value[0] = '\0';
}

void freeTreeNode(treeNode* node) {
    if (node == nullptr) return;
    clearTreeNode(node);
    std::free(node);
}
