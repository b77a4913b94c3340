// ktsl::StreamData: building outgoing records in reusable buffers.
#include "ktsl_StreamData.h"

#include "kttl_Exception.h"
#include "ktsl_Record.h"

namespace ktsl {

unsigned char* StreamData::resize(unsigned size) {
    if (size > m_capacity) {
        m_buf.reset(new unsigned char[size]);
        m_capacity = size;
    }
    m_used = size;
    return m_buf.get();
}

void StreamData::assign(const Serializable& value) {
    const unsigned size = record::sizeOf(value);
    BinWriter w(resize(size));
    const unsigned len = size - record::kHeaderSize;
    w.u16(value.getTypeId());
    w.u16(0);
    w.u32(len);
    if (w.value(value) != len) {
        m_used = 0;
        KT_THROW("ktsl::NetIOStream", "write() - obj.toBin() failed");
    }
}

unsigned short StreamData::getType() const {
    if (m_used < 2) return 0;
    return static_cast<unsigned short>(m_buf[0] | (m_buf[1] << 8));
}

}  // namespace ktsl
