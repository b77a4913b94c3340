// ktsl::Map<K, V>: an ordered map of serializable keys and values; its id comes from the keyed form.
#pragma once

#include <map>

#include "kttl_Exception.h"
#include "ktsl_MapForms.h"

namespace ktsl {

// A std::map<K, V> with the map binary form: an Integer entry count, then per entry in key order
// the key's form and the value's. fromBin builds a new map and swaps it in (unchanged on a refused
// input); a key that occurs twice keeps its first value. The general map has no XML form: both
// directions throw. StringMap and IntMap give the type id through internalTypeId().
template <class K, class V>
class Map : public Serializable, public std::map<K, V> {
public:
    using std::map<K, V>::map;
    Map() = default;

    virtual unsigned short internalTypeId() const = 0;

    using Serializable::toXML;
    unsigned short getTypeId() const override { return internalTypeId(); }
    kttl::String getTypeName() const override { return "Map"; }
    kttl::String toXML(const char*) const override {
        KT_THROW("ktsl::Map", "toXML - not defined for this type of map.");
    }
    bool fromXML(const char*) override { KT_THROW("ktsl::Map", "fromXML - not defined for this type of map."); }
    unsigned getBinLength() const override { return mapforms::binLength(*this); }
    unsigned toBin(unsigned char* out) const override { return mapforms::toBin(*this, out); }
    unsigned fromBin(const unsigned char* in, unsigned length) override { return mapforms::fromBin(*this, in, length); }
};

}  // namespace ktsl
