// ktsl::StreamData: one complete outgoing record (header and payload) in a reusable buffer.
#pragma once

#include <memory>

#include "ktsl_Serializable.h"

namespace ktsl {

// The buffer grows only when a longer record is built in it, so a record buffer that is rebuilt
// for every frame stops allocating once it has seen the largest frame. Shared through
// kttl::SmartPtr between the builder and the sending queues of every connection that sends it.
class StreamData {
public:
    StreamData() = default;
    StreamData(const StreamData&) = delete;
    StreamData& operator=(const StreamData&) = delete;

    // Builds the record of `value` (u16 type id, u16 0, u32 length, payload), replacing the content.
    // Throws "ktsl::NetIOStream::write() - obj.toBin() failed" when toBin() writes another length
    // than getBinLength() announced; the buffer is then empty.
    void assign(const Serializable& value);
    // Makes the used length `size`, keeping the capacity when it suffices; returns the buffer.
    unsigned char* resize(unsigned size);

    const unsigned char* data() const { return m_buf.get(); }
    unsigned char* data() { return m_buf.get(); }
    unsigned size() const { return m_used; }
    unsigned capacity() const { return m_capacity; }
    // The record's type id (0 while the buffer holds no header).
    unsigned short getType() const;

private:
    std::unique_ptr<unsigned char[]> m_buf;
    unsigned m_capacity = 0;
    unsigned m_used = 0;
};

}  // namespace ktsl
