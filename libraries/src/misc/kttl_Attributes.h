// kttl::Attributes: the named string attributes that frames, objects and heartbeats carry.
#pragma once

#include <map>

#include "kttl_SpareNodes.h"
#include "kttl_String.h"

namespace kttl {

// A base class (not itself a Serializable, so a serializable class can derive from both); the
// deriving class puts the attributes into its own forms with the helpers below, which write
// exactly the binary and XML forms of a string map of strings (type id 15501).
class Attributes {
public:
    using AttributeMap = std::map<String, String>;

    Attributes() = default;
    Attributes(const Attributes&) = default;
    Attributes(Attributes&&) = default;
    Attributes& operator=(const Attributes&) = default;
    Attributes& operator=(Attributes&&) = default;
    virtual ~Attributes();

    // The value, or the empty string when the name is not set.
    String getAttribute(const String& name) const;
    // False (value untouched) when the name is not set.
    bool getAttribute(const String& name, String& value) const;
    // A new name takes a node kept by clearAttributes/removeAttribute before allocating one, so a
    // frame that clears and sets the same attributes every frame allocates nothing in steady state.
    void setAttribute(const String& name, const String& value);
    bool hasAttribute(const String& name) const { return m_attributes.count(name) != 0; }
    bool removeAttribute(const String& name);
    // Empties the attributes; their nodes are kept for the next setAttribute (at most 64).
    void clearAttributes() { m_spare.takeAll(m_attributes); }
    size_t attributeCount() const { return m_attributes.size(); }
    const AttributeMap& getAttributeMap() const { return m_attributes; }
    AttributeMap& getAttributeMap() { return m_attributes; }
    // Nodes kept for reuse; never part of the value (copies, comparisons and forms see live entries only).
    size_t spareAttributeNodes() const { return m_spare.size(); }

    // Binary form: Integer count, then per name in order the name and value String forms.
    unsigned attributesBinLength() const;
    unsigned attributesToBin(unsigned char* out) const;
    // Throws the fromBin failure on bad input; the attributes are then unchanged.
    unsigned attributesFromBin(const unsigned char* in, unsigned length);
    // <tag xmlns:kt="..."><item kt:displayName="name">value</item>...</tag>
    String attributesToXML(const char* tag) const;
    // False (unchanged) when the document has no children.
    bool attributesFromXML(const char* xml);

private:
    AttributeMap m_attributes;
    SpareNodes<AttributeMap> m_spare;
};

}  // namespace kttl
