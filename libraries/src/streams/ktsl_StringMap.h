// ktsl::StringMap<V>: a map keyed by kttl::String (type id 15000 + the value's id, "StringMap").
#pragma once

#include "kttl_String.h"
#include "ktsl_Map.h"
#include "ktsl_TypeIdOf.h"

namespace ktsl {

// XML form under tag t: <t xmlns:kt="(settings schema URI)">, then per entry the value's
// toXML("item") carrying kt:displayName="key" (escaped), then </t>. fromXML: a document without
// children is refused and leaves the map unchanged; otherwise the map is replaced by the children
// whose values read, each keyed by its kt:displayName (its element name when that is empty), the
// first of a repeated key winning.
template <class V>
class StringMap : public Map<kttl::String, V> {
public:
    using Map<kttl::String, V>::Map;
    StringMap() = default;

    unsigned short internalTypeId() const override {
        return static_cast<unsigned short>(TypeId::StringMapBase + typeIdOf<V>());
    }
    using Serializable::toXML;
    kttl::String getTypeName() const override { return "StringMap"; }
    kttl::String toXML(const char* tag) const override { return mapforms::toStringMapXML(*this, tag); }
    bool fromXML(const char* xml) override { return mapforms::fromStringMapXML(*this, xml); }
};

}  // namespace ktsl
