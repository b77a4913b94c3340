#include "kttl_Attributes.h"

#include <utility>

#include "ktsl_MapForms.h"

namespace kttl {

Attributes::~Attributes() = default;

String Attributes::getAttribute(const String& name) const {
    auto it = m_attributes.find(name);
    return it == m_attributes.end() ? String() : it->second;
}

bool Attributes::getAttribute(const String& name, String& value) const {
    auto it = m_attributes.find(name);
    if (it == m_attributes.end()) return false;
    value = it->second;
    return true;
}

void Attributes::setAttribute(const String& name, const String& value) {
    auto it = m_attributes.lower_bound(name);
    if (it != m_attributes.end() && !(name < it->first)) {
        it->second = value;
        return;
    }
    AttributeMap::node_type node = m_spare.pop(name);
    if (node.empty()) {
        m_attributes.emplace_hint(it, name, value);
        return;
    }
    // Assignment keeps the node's string buffers when they are large enough.
    node.key() = name;
    node.mapped() = value;
    m_attributes.insert(it, std::move(node));
}

bool Attributes::removeAttribute(const String& name) {
    auto it = m_attributes.find(name);
    if (it == m_attributes.end()) return false;
    m_spare.take(m_attributes, it);
    return true;
}

unsigned Attributes::attributesBinLength() const { return ktsl::mapforms::binLength(m_attributes); }

unsigned Attributes::attributesToBin(unsigned char* out) const { return ktsl::mapforms::toBin(m_attributes, out); }

unsigned Attributes::attributesFromBin(const unsigned char* in, unsigned length) {
    return ktsl::mapforms::fromBin(m_attributes, in, length);
}

String Attributes::attributesToXML(const char* tag) const {
    return ktsl::mapforms::toStringMapXML(m_attributes, tag);
}

bool Attributes::attributesFromXML(const char* xml) { return ktsl::mapforms::fromStringMapXML(m_attributes, xml); }

}  // namespace kttl
