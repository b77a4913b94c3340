// ktxml::DomIterator: walks the elements of a parsed XML document one sibling level at a time.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

namespace ktxml {

// An iterator is a position on an element of a shared document; copies share the document, so
// a child iterator stays valid after the parent iterator is gone. Only element nodes are visited:
// text, comments and processing instructions are skipped. A default iterator is at its end.
class DomIterator {
public:
    DomIterator() = default;

    // Parses `xml` and positions the iterator on the document's root element. Returns false (and
    // leaves the iterator at its end) when `xml` is null, not well-formed or has no element.
    bool parse(const char* xml);
    bool parse(const std::string& xml) { return parse(xml.c_str()); }

    // An iterator over the element children of the current element; at its end when there are none
    // or when this iterator is at its end.
    DomIterator childrenBegin() const;
    // Moves to the next sibling element; at the end after the last one. Returns *this.
    DomIterator& nextSibling();
    bool atEnd() const { return !m_node; }
    // Whether the current element has at least one element child.
    bool hasChildren() const;

    // Element name, "" at the end.
    std::string getName() const;
    // The element's own text (first text or CDATA child) with entities resolved; "" when none.
    std::string getValue() const;
    bool hasAttribute(const char* name) const;
    // The attribute's value, "" when missing.
    std::string getAttribute(const char* name) const;
    // The current element and everything below it as compact XML (no declaration, no indenting).
    std::string toXML() const;

private:
    DomIterator(std::shared_ptr<const pugi::xml_document> doc, pugi::xml_node node)
        : m_doc(std::move(doc)), m_node(node) {}

    std::shared_ptr<const pugi::xml_document> m_doc;
    pugi::xml_node m_node;
};

}  // namespace ktxml
