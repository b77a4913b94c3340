#include "ktxml_DomIterator.h"

#include <sstream>

namespace ktxml {

namespace {

pugi::xml_node firstElement(pugi::xml_node node) {
    while (node && node.type() != pugi::node_element) node = node.next_sibling();
    return node;
}

}  // namespace

bool DomIterator::parse(const char* xml) {
    m_doc.reset();
    m_node = pugi::xml_node();
    if (!xml) return false;
    auto doc = std::make_shared<pugi::xml_document>();
    // A text of blanks only is a value (a string " " must read back as " "), so keep it when it is
    // the element's only content.
    pugi::xml_parse_result res = doc->load_string(xml, pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!res) return false;
    pugi::xml_node root = firstElement(doc->first_child());
    if (!root) return false;
    m_doc = std::move(doc);
    m_node = root;
    return true;
}

DomIterator DomIterator::childrenBegin() const {
    if (!m_node) return DomIterator();
    pugi::xml_node child = firstElement(m_node.first_child());
    if (!child) return DomIterator();
    return DomIterator(m_doc, child);
}

DomIterator& DomIterator::nextSibling() {
    if (m_node) m_node = firstElement(m_node.next_sibling());
    if (!m_node) m_doc.reset();
    return *this;
}

bool DomIterator::hasChildren() const { return m_node && firstElement(m_node.first_child()); }

std::string DomIterator::getName() const { return m_node ? m_node.name() : ""; }

std::string DomIterator::getValue() const {
    if (!m_node) return "";
    for (pugi::xml_node c = m_node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) return c.value();
    }
    return "";
}

bool DomIterator::hasAttribute(const char* name) const {
    return m_node && name && m_node.attribute(name);
}

std::string DomIterator::getAttribute(const char* name) const {
    if (!m_node || !name) return "";
    return m_node.attribute(name).value();
}

std::string DomIterator::toXML() const {
    if (!m_node) return "";
    std::ostringstream out;
    m_node.print(out, "", pugi::format_raw);
    return out.str();
}

}  // namespace ktxml
