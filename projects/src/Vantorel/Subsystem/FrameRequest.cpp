// FrameRequest: the binary form of a viewer's frame request.
#include "FrameRequest.h"

#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"

unsigned FrameRequest::getBinLength() const {
    return 1 + m_images.getBinLength() + m_resolution.getBinLength() + 2 + m_name.getBinLength();
}

unsigned FrameRequest::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.u8(m_tracks ? 1 : 0);
    w.value(m_images);
    w.value(m_resolution);
    w.u16(m_rate);
    w.value(m_name);
    return w.written();
}

unsigned FrameRequest::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    const uint8_t tracks = r.u8();
    if (tracks > 1) fromBinFailed();
    ktsl::Set<kttl::String> images;
    ktvl::Resolution resolution;
    kttl::String name;
    r.value(images);
    r.value(resolution);
    const uint16_t rate = r.u16();
    r.value(name);
    m_tracks = tracks != 0;
    m_images.swap(images);
    m_resolution = resolution;
    m_rate = rate;
    m_name.swap(name);
    return r.consumed();
}

kttl::String FrameRequest::toXML(const char*) const { KT_THROW("FrameRequest", "toXML() - Not implemented"); }

bool FrameRequest::fromXML(const char*) { KT_THROW("FrameRequest", "fromXML() - Not implemented"); }
