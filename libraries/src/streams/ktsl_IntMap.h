// ktsl::IntMap<V>: a map keyed by kttl::Integer (type id 20000 + the value's id, "IntMap").
#pragma once

#include "kttl_Integer.h"
#include "ktsl_Map.h"
#include "ktsl_TypeIdOf.h"

namespace ktsl {

// Binary form of the general map; like it, no XML form (both directions throw).
template <class V>
class IntMap : public Map<kttl::Integer, V> {
public:
    using Map<kttl::Integer, V>::Map;
    IntMap() = default;

    unsigned short internalTypeId() const override {
        return static_cast<unsigned short>(TypeId::IntMapBase + typeIdOf<V>());
    }
    kttl::String getTypeName() const override { return "IntMap"; }
};

}  // namespace ktsl
