// The serializable value and container types the fuzz targets read, addressed by a one-byte index
// (binary and XML targets) or by type id (object streams).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "Event.h"
#include "EventDetectorParams.h"
#include "EventSpyFactory.h"
#include "Frame.h"
#include "ObjectMap.h"
#include "ProcessParams.h"
#include "ktml_BoundingBox.h"
#include "ktml_ColorHistogram.h"
#include "ktml_Histogram.h"
#include "ktml_Point2d.h"
#include "ktml_Polygon2d.h"
#include "ktsl_EndOfFile.h"
#include "ktsl_IntMap.h"
#include "ktsl_List.h"
#include "ktsl_MemIOStream.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"
#include "kttl_Buffer.h"
#include "kttl_Double.h"
#include "kttl_ElapsedTime.h"
#include "kttl_Exception.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "kttl_TimeStamp.h"
#include "kttl_UUID.h"
#include "ktvl_Resolution.h"

namespace fuzz {

using Factory = std::function<std::unique_ptr<ktsl::Serializable>()>;

template <class T>
Factory make() {
    return [] { return std::unique_ptr<ktsl::Serializable>(new T()); };
}

// Every reader of outside input: values, geometry, histograms, streams, objects and the
// containers the system instantiates. New serializable types are added here.
inline const std::vector<Factory>& types() {
    static const std::vector<Factory> all = {
        make<kttl::String>(),
        make<kttl::TimeStamp>(),
        make<kttl::ElapsedTime>(),
        make<kttl::Integer>(),
        make<kttl::Double>(),
        make<kttl::Buffer>(),
        make<kttl::UUID>(),
        make<ktml::BoundingBox<int>>(),
        make<ktml::BoundingBox<float>>(),
        make<ktml::Point2D<int>>(),
        make<ktml::Point2D<float>>(),
        make<ktml::Polygon2D<int>>(),
        make<ktml::Polygon2D<float>>(),
        make<ktml::Histogram>(),
        make<ktml::ColorHistogram>(),
        make<ktvl::Resolution>(),
        make<ktsl::EndOfFile>(),
        make<ktsl::MemIOStream>(),
        make<Object>(),
        make<ObjectMap>(),
        make<ktsl::List<kttl::Integer>>(),
        make<ktsl::List<kttl::String>>(),
        make<ktsl::List<ktml::Polygon2D<float>>>(),
        make<ktsl::List<ktml::BoundingBox<int>>>(),
        make<ktsl::Set<kttl::String>>(),
        make<ktsl::StringMap<kttl::String>>(),
        make<ktsl::StringMap<kttl::Double>>(),
        make<ktsl::StringMap<kttl::Integer>>(),
        make<ktsl::StringMap<ktml::BoundingBox<int>>>(),
        make<ktsl::IntMap<kttl::String>>(),
        make<ktsl::IntMap<kttl::Double>>(),
        make<Frame>(),
        make<ProcessParams>(),
        make<Event>(),
        make<EventSpyFactory>(),
        make<EventDetectorParams>(),
    };
    return all;
}

// The type at index `selector` modulo the number of types.
inline std::unique_ptr<ktsl::Serializable> byIndex(unsigned selector) {
    return types()[selector % types().size()]();
}

// A fresh value of the given type id; null when no listed type has it.
inline std::unique_ptr<ktsl::Serializable> byTypeId(unsigned short id) {
    for (const Factory& f : types()) {
        std::unique_ptr<ktsl::Serializable> v = f();
        if (v->getTypeId() == id) return v;
    }
    return nullptr;
}

// A broken invariant: libFuzzer reports the abort with its input.
inline void check(bool ok) {
    if (!ok) std::abort();
}

// The binary form of a value, written exactly as long as announced.
inline std::vector<unsigned char> binaryForm(const ktsl::Serializable& v) {
    std::vector<unsigned char> out(v.getBinLength() + size_t(1));
    check(v.toBin(out.data()) == out.size() - 1);
    out.pop_back();
    return out;
}

}  // namespace fuzz
