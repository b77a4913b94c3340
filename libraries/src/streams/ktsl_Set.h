// ktsl::Set<T>: an ordered set of serializable values (type id 10000 + the element's id, "Set").
#pragma once

#include <set>

#include "ktsl_SequenceForms.h"
#include "ktsl_TypeIdOf.h"

namespace ktsl {

// A std::set<T> that serializes itself; the binary form is that of a list. XML form under tag t
// with item tag i: <t>, each element's toXML(i), </t>, then a line break; the item tag is "item"
// unless given. Reading builds a new set and swaps it in: on a refused input the set is unchanged.
// fromXML adds every child that the element type reads; a document without children is refused.
template <class T>
class Set : public Serializable, public std::set<T> {
public:
    using std::set<T>::set;
    Set() = default;

    using Serializable::toXML;
    unsigned short getTypeId() const override {
        return static_cast<unsigned short>(TypeId::SetBase + typeIdOf<T>());
    }
    kttl::String getTypeName() const override { return "Set"; }
    kttl::String toXML(const char* tag) const override { return toXML(tag, "item"); }
    kttl::String toXML(const char* tag, const char* itemTag) const {
        if (!tag) return kttl::String();
        kttl::String out = seqforms::toXML(*this, tag, itemTag ? itemTag : "item");
        out += '\n';
        return out;
    }
    bool fromXML(const char* xml) override { return seqforms::fromXML<std::set<T>>(*this, xml); }
    unsigned getBinLength() const override { return seqforms::binLength(*this); }
    unsigned toBin(unsigned char* out) const override { return seqforms::toBin(*this, typeIdOf<T>(), out); }
    unsigned fromBin(const unsigned char* in, unsigned length) override {
        return seqforms::fromBin<std::set<T>>(*this, in, length, typeIdOf<T>());
    }
};

}  // namespace ktsl
