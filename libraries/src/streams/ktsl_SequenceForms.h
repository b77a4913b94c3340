// The binary and XML forms that lists and sets share.
#pragma once

#include <cstdint>
#include <limits>
#include <utility>

#include "kttl_Exception.h"
#include "kttl_Integer.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktsl_Record.h"
#include "ktxml_DomIterator.h"

namespace ktsl {
namespace seqforms {

// Binary form: an object stream in its own binary form (u32 byte count, then records) holding an
// Integer record with the element type id, an Integer record with the element count and one
// record per element. An empty sequence is therefore 4 + 12 + 12 = 28 bytes.
constexpr unsigned kIntegerRecordSize = record::kHeaderSize + 4;

template <class C>
unsigned binLength(const C& items) {
    uint64_t n = 4 + 2 * kIntegerRecordSize;
    for (const auto& item : items) n += uint64_t(record::kHeaderSize) + item.getBinLength();
    if (n > std::numeric_limits<unsigned>::max())
        KT_THROW("ktsl::List", "getBinLength() - container too large for its binary form");
    return static_cast<unsigned>(n);
}

template <class C>
unsigned toBin(const C& items, unsigned short elementId, unsigned char* out) {
    BinWriter w(out);
    w.u32(0);  // patched below
    record::write(w, kttl::Integer(elementId));
    record::write(w, kttl::Integer(static_cast<int32_t>(items.size())));
    for (const auto& item : items) record::write(w, item);
    BinWriter(out).u32(w.written() - 4);
    return w.written();
}

// Reads into a fresh container and swaps it into `items`, so `items` is unchanged when the input
// is refused. Throws the fromBin failure when the recorded element type differs, the count is
// negative or larger than the remaining bytes could hold (every record is at least 8 bytes:
// checked before anything is reserved), or any record is short.
template <class C>
unsigned fromBin(C& items, const unsigned char* in, unsigned length, unsigned short elementId) {
    BinReader outer(in, length);
    const unsigned n = outer.u32();
    BinReader r(outer.bytes(n), n);
    kttl::Integer id, count;
    record::readInto(r, id);
    record::readInto(r, count);
    if (id.get() != elementId || count.get() < 0 || unsigned(count.get()) > r.remaining() / record::kHeaderSize)
        Serializable::fromBinFailed();
    C fresh;
    for (int32_t i = 0; i < count.get(); ++i) {
        typename C::value_type item;
        record::readInto(r, item);
        fresh.insert(fresh.end(), std::move(item));
    }
    items.swap(fresh);
    return outer.consumed();
}

// <tag> + item.toXML(itemTag, or the element's type name when null) for each + </tag>.
template <class C>
kttl::String toXML(const C& items, const char* tag, const char* itemTag) {
    if (!tag) return kttl::String();
    kttl::String out = kttl::String::format("<%s>", tag);
    for (const auto& item : items) out += itemTag ? item.toXML(itemTag) : item.toXML();
    out.appendFormat("</%s>", tag);
    return out;
}

// Replaces `items` by every child that the element type reads; false (items unchanged) when the
// document has no children.
template <class C>
bool fromXML(C& items, const char* xml) {
    ktxml::DomIterator root;
    if (!root.parse(xml) || !root.hasChildren()) return false;
    C fresh;
    for (ktxml::DomIterator it = root.childrenBegin(); !it.atEnd(); it.nextSibling()) {
        typename C::value_type item;
        if (item.fromXML(it.toXML().c_str())) fresh.insert(fresh.end(), std::move(item));
    }
    items.swap(fresh);
    return true;
}

}  // namespace seqforms
}  // namespace ktsl
