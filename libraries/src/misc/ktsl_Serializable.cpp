#include "ktsl_Serializable.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <new>

#include "kttl_Exception.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"

namespace ktsl {

namespace {

// File header: u16 type id, u32 payload length.
constexpr unsigned kFileHeaderSize = 6;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace

Serializable::~Serializable() = default;

kttl::String Serializable::toXML() const { return toXML(getTypeName().c_str()); }

void Serializable::fromBinFailed() { throw kttl::Exception("ktsl::Serializable::fromBin() - Failed!"); }

bool Serializable::toFile(const char* path) const {
    if (!path) return false;
    const unsigned len = getBinLength();
    std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[kFileHeaderSize + size_t(len)]);
    if (!buf) return false;
    BinWriter w(buf.get());
    w.u16(getTypeId());
    w.u32(len);
    if (w.value(*this) != len) return false;

    FILE* raw = std::fopen(path, "wb");
    if (!raw) return false;
    const size_t total = kFileHeaderSize + size_t(len);
    bool ok = std::fwrite(buf.get(), 1, total, raw) == total;
    // A failed close can mean the data never reached the disk.
    ok = (std::fclose(raw) == 0) && ok;
    return ok;
}

bool Serializable::fromFile(const char* path) {
    if (!path) return false;
    FilePtr f(std::fopen(path, "rb"));
    if (!f) return false;
    struct stat st;
    if (fstat(fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const unsigned long long fileSize = static_cast<unsigned long long>(st.st_size);
    if (fileSize < kFileHeaderSize) return false;

    unsigned char header[kFileHeaderSize];
    if (std::fread(header, 1, kFileHeaderSize, f.get()) != kFileHeaderSize) return false;
    BinReader r(header, kFileHeaderSize);
    if (r.u16() != getTypeId()) return false;
    const unsigned len = r.u32();
    // The recorded length is untrusted: never allocate more than the file can hold.
    if (len > fileSize - kFileHeaderSize) return false;

    std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[len ? len : 1]);
    if (!buf) return false;
    if (std::fread(buf.get(), 1, len, f.get()) != len) return false;
    try {
        return fromBin(buf.get(), len) == len;
    } catch (const kttl::Exception&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace ktsl
