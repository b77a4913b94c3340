// CameraMap: the binary form of the machine-to-cameras map.
#include "CameraMap.h"

#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"

namespace {
// The smallest String form (an empty string): bounds counts read from untrusted input.
constexpr unsigned kMinStringBytes = 5;
}  // namespace

unsigned CameraMap::getBinLength() const {
    unsigned n = 4;
    for (const auto& m : m_machines) {
        n += m.first.getBinLength() + 4;
        for (const kttl::String& c : m.second) n += c.getBinLength();
    }
    return n;
}

unsigned CameraMap::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.i32(static_cast<int32_t>(m_machines.size()));
    for (const auto& m : m_machines) {
        w.value(m.first);
        w.i32(static_cast<int32_t>(m.second.size()));
        for (const kttl::String& c : m.second) w.value(c);
    }
    return w.written();
}

unsigned CameraMap::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    Machines machines;
    const int32_t count = r.i32();
    if (count < 0 || unsigned(count) > r.remaining() / (kMinStringBytes + 4)) fromBinFailed();
    for (int32_t i = 0; i < count; ++i) {
        kttl::String host;
        r.value(host);
        const int32_t cameras = r.i32();
        if (cameras < 0 || unsigned(cameras) > r.remaining() / kMinStringBytes) fromBinFailed();
        ktsl::List<kttl::String>& list = machines[host];
        for (int32_t k = 0; k < cameras; ++k) {
            kttl::String name;
            r.value(name);
            list.push_back(name);
        }
    }
    m_machines.swap(machines);
    return r.consumed();
}

kttl::String CameraMap::toXML(const char*) const { KT_THROW("CameraMap", "toXML() - Not implemented"); }

bool CameraMap::fromXML(const char*) { KT_THROW("CameraMap", "fromXML() - Not implemented"); }
