// The record framing shared by object streams, serialized sequences and the wire protocol.
#pragma once

#include <cstdint>
#include <limits>

#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktsl_Serializable.h"

namespace ktsl {
namespace record {

// u16 type id, u16 reserved (0), u32 payload length, then the payload.
constexpr unsigned kHeaderSize = 8;

struct Header {
    unsigned short type = 0;
    unsigned length = 0;
};

// Record size of `value`; throws when the record could not be described by a u32 length.
inline unsigned sizeOf(const Serializable& value) {
    const unsigned len = value.getBinLength();
    if (len > std::numeric_limits<unsigned>::max() - kHeaderSize)
        KT_THROW("ktsl::MemIOStream", "write() - object too large for a record");
    return len + kHeaderSize;
}

// Writes the header and the payload; throws when toBin() writes another length than it announced
// (the bytes after `w` are then garbage and must not be published).
inline unsigned write(BinWriter& w, const Serializable& value) {
    const unsigned len = value.getBinLength();
    w.u16(value.getTypeId());
    w.u16(0);
    w.u32(len);
    if (w.value(value) != len) KT_THROW("ktsl::MemIOStream", "write() - toBin() failed");
    return len + kHeaderSize;
}

// Reads a header and checks that its payload lies within the input.
inline Header readHeader(BinReader& r) {
    Header h;
    h.type = r.u16();
    r.u16();
    h.length = r.u32();
    r.need(h.length);
    return h;
}

// Reads one record of `value`'s type into `value`; the whole record is consumed even when
// fromBin() uses less of the payload. Throws the fromBin failure on any mismatch.
inline void readInto(BinReader& r, Serializable& value) {
    const Header h = readHeader(r);
    if (h.type != value.getTypeId()) Serializable::fromBinFailed();
    const unsigned char* payload = r.bytes(h.length);
    if (value.fromBin(payload, h.length) > h.length) Serializable::fromBinFailed();
}

}  // namespace record
}  // namespace ktsl
