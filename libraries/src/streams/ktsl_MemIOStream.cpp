#include "ktsl_MemIOStream.h"

#include <cstring>
#include <limits>
#include <vector>

#include "kttl_Buffer.h"
#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "ktsl_Record.h"

namespace ktsl {

namespace {
constexpr uint64_t kMaxCapacity = std::numeric_limits<unsigned>::max();
}  // namespace

MemIOStream::MemIOStream(unsigned initialCapacity) {
    if (initialCapacity) {
        m_buf.reset(new unsigned char[initialCapacity]);
        m_capacity = initialCapacity;
    }
}

MemIOStream::MemIOStream(const MemIOStream& other) : Serializable(other) {
    assignBytes(other.unreadData(), other.getUnreadLength());
}

MemIOStream::MemIOStream(MemIOStream&& other) noexcept
    : m_buf(std::move(other.m_buf)), m_capacity(other.m_capacity), m_read(other.m_read), m_write(other.m_write) {
    other.m_capacity = other.m_read = other.m_write = 0;
}

MemIOStream& MemIOStream::operator=(const MemIOStream& other) {
    if (this != &other) {
        // Copied through a temporary: `other` may be a view into this very buffer's content.
        std::vector<unsigned char> bytes(other.unreadData(), other.unreadData() + other.getUnreadLength());
        assignBytes(bytes.data(), static_cast<unsigned>(bytes.size()));
    }
    return *this;
}

MemIOStream& MemIOStream::operator=(MemIOStream&& other) noexcept {
    if (this != &other) {
        m_buf = std::move(other.m_buf);
        m_capacity = other.m_capacity;
        m_read = other.m_read;
        m_write = other.m_write;
        other.m_capacity = other.m_read = other.m_write = 0;
    }
    return *this;
}

MemIOStream::~MemIOStream() = default;

void MemIOStream::assignBytes(const unsigned char* data, unsigned length) {
    m_read = m_write = 0;
    if (length > m_capacity) {
        m_buf.reset(new unsigned char[length]);
        m_capacity = length;
    }
    // memmove: `data` may lie in this buffer (a stream reading its own binary form).
    if (length) std::memmove(m_buf.get(), data, length);
    m_write = length;
}

void MemIOStream::reserveTail(unsigned n) {
    if (n <= m_capacity - m_write) return;
    const unsigned unread = m_write - m_read;
    if (n <= m_capacity - unread) {
        // The already-read bytes at the start make the room.
        std::memmove(m_buf.get(), m_buf.get() + m_read, unread);
    } else {
        const uint64_t grown = uint64_t(n) + 2 * uint64_t(m_capacity);
        if (uint64_t(n) + unread > kMaxCapacity)
            KT_THROW("ktsl::MemIOStream", "write() - stream would exceed 4 GiB");
        const unsigned newCapacity = static_cast<unsigned>(grown > kMaxCapacity ? kMaxCapacity : grown);
        std::unique_ptr<unsigned char[]> buf(new unsigned char[newCapacity]);
        if (unread) std::memcpy(buf.get(), m_buf.get() + m_read, unread);
        m_buf = std::move(buf);
        m_capacity = newCapacity;
    }
    m_read = 0;
    m_write = unread;
}

unsigned MemIOStream::write(const Serializable& value) {
    const unsigned size = record::sizeOf(value);
    reserveTail(size);
    BinWriter w(m_buf.get() + m_write);
    record::write(w, value);  // throws before the write position moves
    m_write += size;
    return size;
}

void MemIOStream::writeBytes(const void* data, unsigned length) {
    if (!data || !length) return;
    // `data` may point into this stream's own unread bytes, which growing moves.
    std::vector<unsigned char> copy;
    const unsigned char* src = static_cast<const unsigned char*>(data);
    if (src >= m_buf.get() && src < m_buf.get() + m_capacity) {
        copy.assign(src, src + length);
        src = copy.data();
    }
    reserveTail(length);
    std::memcpy(m_buf.get() + m_write, src, length);
    m_write += length;
}

unsigned short MemIOStream::getNextType() const {
    const unsigned unread = getUnreadLength();
    if (unread == 0) return TypeId::EndOfFile;
    if (unread < record::kHeaderSize) KT_THROW("ktsl::MemIOStream", "getNextType() - no data");
    BinReader r(unreadData(), unread);
    return r.u16();
}

unsigned MemIOStream::readRecord(Serializable& value, bool consume, const char* what) {
    if (getUnreadLength() < record::kHeaderSize)
        KT_THROW("ktsl::MemIOStream", kttl::String::format("%s() - no data", what));
    const unsigned short type = getNextType();
    if (type != value.getTypeId())
        KT_THROW("ktsl::MemIOStream",
                 kttl::String::format("%s() - type mismatch: %d != %d", what, int(type), int(value.getTypeId())));
    BinReader whole(unreadData(), getUnreadLength());
    record::readInto(whole, value);
    if (consume) m_read += whole.consumed();
    return whole.consumed();
}

unsigned MemIOStream::read(Serializable& value) { return readRecord(value, true, "read"); }

unsigned MemIOStream::peek(Serializable& value) const {
    return const_cast<MemIOStream*>(this)->readRecord(value, false, "peek");
}

unsigned MemIOStream::skip() {
    if (getUnreadLength() < record::kHeaderSize) KT_THROW("ktsl::MemIOStream", "skip() - no data");
    BinReader r(unreadData(), getUnreadLength());
    const record::Header h = record::readHeader(r);
    r.skip(h.length);
    m_read += r.consumed();
    return r.consumed();
}

kttl::String MemIOStream::getTypeName() const { return "ktsl_MemIOStream"; }

kttl::String MemIOStream::toXML(const char* tag) const {
    return kttl::Buffer(unreadData(), getUnreadLength()).toXML(tag);
}

bool MemIOStream::fromXML(const char* xml) {
    kttl::Buffer bytes;
    if (!bytes.fromXML(xml)) return false;
    assignBytes(bytes.data(), bytes.size());
    return true;
}

unsigned MemIOStream::getBinLength() const {
    if (getUnreadLength() > std::numeric_limits<unsigned>::max() - 4u)
        KT_THROW("ktsl::MemIOStream", "getBinLength() - stream too large for its binary form");
    return getUnreadLength() + 4;
}

unsigned MemIOStream::toBin(unsigned char* out) const {
    BinWriter w(out);
    w.u32(getUnreadLength());
    w.bytes(unreadData(), getUnreadLength());
    return w.written();
}

unsigned MemIOStream::fromBin(const unsigned char* in, unsigned length) {
    BinReader r(in, length);
    const unsigned n = r.u32();
    const unsigned char* bytes = r.bytes(n);  // checked against the input before any allocation
    assignBytes(bytes, n);
    return r.consumed();
}

}  // namespace ktsl
