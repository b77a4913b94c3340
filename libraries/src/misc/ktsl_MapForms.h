// The binary and XML forms shared by every serializable map (string maps, integer maps, attributes).
#pragma once

#include <cstdint>
#include <limits>
#include <map>

#include "kttl_Exception.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktxml_DomIterator.h"

namespace ktsl {
namespace mapforms {

// Smallest binary form any key can have (an Integer is 4 bytes, a String at least 5), so an
// entry count above remaining / 4 cannot be honest.
constexpr unsigned kMinKeyBytes = 4;

// Binary form: an Integer entry count, then per entry in key order the key's form and the value's.
template <class M>
unsigned binLength(const M& map) {
    uint64_t n = 4;
    for (const auto& kv : map) n += uint64_t(kv.first.getBinLength()) + kv.second.getBinLength();
    if (n > std::numeric_limits<unsigned>::max())
        KT_THROW("ktsl::Map", "getBinLength() - map too large for its binary form");
    return static_cast<unsigned>(n);
}

template <class M>
unsigned toBin(const M& map, unsigned char* out) {
    BinWriter w(out);
    w.i32(static_cast<int32_t>(map.size()));
    for (const auto& kv : map) {
        w.value(kv.first);
        w.value(kv.second);
    }
    return w.written();
}

// `M` is a std::map or derives from one. Reads into a fresh map and swaps it in, so `map` is unchanged when the input is refused.
// A key that occurs twice keeps its first value.
template <class M>
unsigned fromBin(M& map, const unsigned char* in, unsigned length) {
    BinReader r(in, length);
    const int32_t count = r.i32();
    if (count < 0 || unsigned(count) > r.remaining() / kMinKeyBytes) Serializable::fromBinFailed();
    std::map<typename M::key_type, typename M::mapped_type, typename M::key_compare> fresh;
    for (int32_t i = 0; i < count; ++i) {
        typename M::key_type key;
        typename M::mapped_type value;
        r.value(key);
        r.value(value);
        fresh.emplace(std::move(key), std::move(value));
    }
    map.swap(fresh);
    return r.consumed();
}

// <tag xmlns:kt="..."> then per entry value.toXML("item") carrying kt:displayName="key", </tag>.
template <class M>
kttl::String toStringMapXML(const M& map, const char* tag) {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s xmlns:kt=\"%s\">", tag, kSettingsNamespaceUri);
    for (const auto& kv : map) {
        kttl::String item = kv.second.toXML("item");
        item.insert(5, " kt:displayName=\"" + kttl::String::xmlEscape(kv.first.c_str()) + "\"");
        out += item;
    }
    out.appendFormat("</%s>", tag);
    return out;
}

// Each child gives one entry: the key from its kt:displayName attribute (its element name when
// that is empty), the value from the child's XML; children whose value does not read are skipped
// and a repeated key keeps its first value. A document without children is refused (false) and
// leaves `map` unchanged.
template <class M>
bool fromStringMapXML(M& map, const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    std::map<typename M::key_type, typename M::mapped_type, typename M::key_compare> fresh;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        kttl::String key = it.getAttribute("kt:displayName");
        if (key.empty()) key = it.getName();
        if (fresh.count(key)) continue;
        typename M::mapped_type value;
        if (value.fromXML(it.toXML().c_str())) fresh.emplace(std::move(key), std::move(value));
    }
    map.swap(fresh);
    return true;
}

}  // namespace mapforms
}  // namespace ktsl
