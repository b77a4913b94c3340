// ktsl::MemIOStream: an in-memory object stream of records (type id 6, "ktsl_MemIOStream").
#pragma once

#include <memory>

#include "ktsl_Serializable.h"

namespace ktsl {

// A byte buffer with a read and a write position; the bytes between them are unread. Each
// write(value) appends one record (u16 type id, u16 0, u32 length, payload) and each read
// consumes one. Growth rule when a record does not fit behind the write position: if the
// unread bytes plus the record fit in the buffer, the unread bytes are moved to its start;
// otherwise the buffer is reallocated to (record size + twice the old capacity) with the unread
// bytes at its start. A stream that is read as fast as it is written therefore stops allocating.
//
// Binary form: u32 count of unread bytes, then those bytes. XML form: the unread bytes as
// lower-case hex, <tag/> when there are none.
//
// Record payloads are untrusted: read/peek/skip refuse a record whose length runs past the
// unread bytes (the fromBin failure) and leave the stream unchanged when they throw.
class MemIOStream : public Serializable {
public:
    explicit MemIOStream(unsigned initialCapacity = 0);
    MemIOStream(const MemIOStream& other);
    MemIOStream(MemIOStream&& other) noexcept;
    MemIOStream& operator=(const MemIOStream& other);
    MemIOStream& operator=(MemIOStream&& other) noexcept;
    ~MemIOStream() override;

    // Appends one record; returns its size (payload length + 8).
    unsigned write(const Serializable& value);
    // Type id of the next record without consuming it; 1 (EndOfFile) when nothing is unread.
    // Throws "getNextType() - no data" when 1 to 7 bytes are unread.
    unsigned short getNextType() const;
    // Reads the next record into `value` (its type id must match, else "read() - type mismatch")
    // and consumes it; returns the record size. "read() - no data" when no full header is unread.
    unsigned read(Serializable& value);
    // As read(), without consuming.
    unsigned peek(Serializable& value) const;
    // Drops the next record; returns its size. "skip() - no data" when fewer than 8 bytes remain.
    unsigned skip();

    // Appends raw bytes (for instance records received elsewhere); the growth rule applies.
    void writeBytes(const void* data, unsigned length);
    // Drops all unread bytes; the capacity is kept.
    void clear() { m_read = m_write = 0; }

    bool isEmpty() const { return m_read == m_write; }
    unsigned getUnreadLength() const { return m_write - m_read; }
    const unsigned char* unreadData() const { return m_buf.get() + m_read; }
    unsigned getCapacity() const { return m_capacity; }
    unsigned getReadPosition() const { return m_read; }
    unsigned getWritePosition() const { return m_write; }

    using Serializable::toXML;
    unsigned short getTypeId() const override { return TypeId::MemIOStream; }
    kttl::String getTypeName() const override;
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    // Replaces the content with the recorded unread bytes; unchanged when the input is refused.
    unsigned fromBin(const unsigned char* in, unsigned length) override;

private:
    // Makes room for n more bytes behind the write position (growth rule above).
    void reserveTail(unsigned n);
    void assignBytes(const unsigned char* data, unsigned length);
    unsigned readRecord(Serializable& value, bool consume, const char* what);

    std::unique_ptr<unsigned char[]> m_buf;
    unsigned m_capacity = 0;
    unsigned m_read = 0;
    unsigned m_write = 0;
};

}  // namespace ktsl
