// Coordinator settings: the settings file into a name-to-text map, and zone texts into polygons.
#include <cmath>
#include <cstring>
#include <string>

#include "AppFiles.h"
#include "Coordinator.h"
#include "xml_tree.h"

namespace {

// A root record on the stack whose parser-made children are released with it.
struct TreeRoot {
    treeNode node;
    TreeRoot() { std::memset(&node, 0, sizeof(node)); }
    ~TreeRoot() { clearTreeNode(&node); }
};

// The raw text between the first "<name>" and the next "</name>" after it; false when either is
// missing.
bool innerXml(const std::string& text, const char* name, std::string& inner) {
    const std::string open = std::string("<") + name + ">";
    const std::string close = std::string("</") + name + ">";
    const size_t start = text.find(open);
    if (start == std::string::npos) return false;
    const size_t from = start + open.size();
    const size_t end = text.find(close, from);
    if (end == std::string::npos) return false;
    inner = text.substr(from, end - from);
    return true;
}

bool readNumber(const treeNode* node, const char* name, float& out) {
    double value = 0.0;
    if (std::strcmp(node->name, name) != 0 || node->childCount != 0 || !kttl::String(node->value).parseDouble(value) ||
        !std::isfinite(value)) {
        return false;
    }
    out = static_cast<float>(value);
    return true;
}

}  // namespace

bool Coordinator::loadXML(kttl::Logger& logger, ktsl::StringMap<kttl::String>& settings) {
    std::string text;
    AppFiles::ReadResult result = AppFiles::readWhole(AppFiles::settingsPath(), AppFiles::kMaxSettingsBytes, text);
    if (result == AppFiles::ReadResult::Unreadable || (result == AppFiles::ReadResult::Ok && text.empty())) {
        logger.log(kttl::INFO, "No custom settings, loading default xml.");
        result = AppFiles::readWhole(AppFiles::defaultSettingsPath(), AppFiles::kMaxSettingsBytes, text);
        if (result == AppFiles::ReadResult::Unreadable || (result == AppFiles::ReadResult::Ok && text.empty())) {
            logger.log(kttl::ERR, "No default settings available.");
            return false;
        }
    }
    // A file beyond the size limit is beyond what the parser takes: a parse failure.
    if (result == AppFiles::ReadResult::TooLarge) text.clear();
    return settingsFromText(logger, text, settings);
}

bool Coordinator::settingsFromText(kttl::Logger& logger, const std::string& text,
                                   ktsl::StringMap<kttl::String>& settings) {
    TreeRoot root;
    if (text.empty() || xml2Tree(text.c_str(), &root.node) != 0) {
        logger.log(kttl::ERR, "Failed to parse xml into a tree.");
        return false;
    }
    for (int32_t i = 0; i < root.node.childCount; ++i) {
        const treeNode* child = root.node.children[i];
        if (child->childCount == 0) {
            settings[child->name] = child->value;
            continue;
        }
        std::string inner;
        if (innerXml(text, child->name, inner)) settings[child->name] = inner;
    }
    return true;
}

bool Coordinator::parseZones(const kttl::String& text, ktsl::List<ktml::Polygon2D<float>>& zones) {
    TreeRoot root;
    const std::string wrapped = "<zones>" + text + "</zones>";
    if (xml2Tree(wrapped.c_str(), &root.node) != 0) return false;
    ktsl::List<ktml::Polygon2D<float>> parsed;
    for (int32_t i = 0; i < root.node.childCount; ++i) {
        const treeNode* polygonNode = root.node.children[i];
        if (std::strcmp(polygonNode->name, "polygon") != 0) return false;
        ktml::Polygon2D<float> polygon;
        for (int32_t j = 0; j < polygonNode->childCount; ++j) {
            const treeNode* point = polygonNode->children[j];
            float x = 0.0f, y = 0.0f;
            if (std::strcmp(point->name, "point") != 0 || point->childCount != 2 ||
                !readNumber(point->children[0], "x", x) || !readNumber(point->children[1], "y", y)) {
                return false;
            }
            polygon.addVertex(x, y);
        }
        parsed.push_back(polygon);
    }
    zones.splice(zones.end(), parsed);
    return true;
}
