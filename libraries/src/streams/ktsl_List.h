// ktsl::List<T>: an ordered list of serializable values (type id 5000 + the element's id, "List").
#pragma once

#include <list>

#include "ktsl_SequenceForms.h"
#include "ktsl_TypeIdOf.h"

namespace ktsl {

// A std::list<T> that serializes itself. XML form: <tag> + each element's toXML() under its type
// name + </tag>. Reading (binary or XML) builds a new list and swaps it in: on a refused input the
// list is unchanged. fromXML keeps the elements that read and skips the others; a document
// without children is refused.
template <class T>
class List : public Serializable, public std::list<T> {
public:
    using std::list<T>::list;
    List() = default;

    using Serializable::toXML;
    unsigned short getTypeId() const override {
        return static_cast<unsigned short>(TypeId::ListBase + typeIdOf<T>());
    }
    kttl::String getTypeName() const override { return "List"; }
    kttl::String toXML(const char* tag) const override { return seqforms::toXML(*this, tag, nullptr); }
    bool fromXML(const char* xml) override { return seqforms::fromXML<std::list<T>>(*this, xml); }
    unsigned getBinLength() const override { return seqforms::binLength(*this); }
    unsigned toBin(unsigned char* out) const override { return seqforms::toBin(*this, typeIdOf<T>(), out); }
    unsigned fromBin(const unsigned char* in, unsigned length) override {
        return seqforms::fromBin<std::list<T>>(*this, in, length, typeIdOf<T>());
    }
};

}  // namespace ktsl
