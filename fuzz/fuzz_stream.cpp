// Object streams in memory: the input is appended to a stream as received bytes and its records
// are read back by type id (unknown types skipped); every value read is written to a second
// stream and must read from it again. The stream's own binary and XML forms read the input too.
#include <string>

#include "FuzzValues.h"

namespace {

// Records read from one input at most; every record is at least its 8-byte header anyway.
constexpr int kMaxRecords = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ktsl::MemIOStream in, out;
    in.writeBytes(data, static_cast<unsigned>(size));
    try {
        for (int i = 0; i < kMaxRecords && !in.isEmpty(); ++i) {
            std::unique_ptr<ktsl::Serializable> v = fuzz::byTypeId(in.getNextType());
            if (!v) {
                in.skip();
                continue;
            }
            in.read(*v);
            out.write(*v);
            std::unique_ptr<ktsl::Serializable> again = fuzz::byTypeId(v->getTypeId());
            try {
                out.read(*again);
            } catch (const kttl::Exception&) {
                fuzz::check(false);  // a record this library wrote must read
            }
        }
    } catch (const kttl::Exception&) {
        // refused record: the stream stops there
    }
    ktsl::MemIOStream whole;
    try {
        whole.fromBin(data, static_cast<unsigned>(size));
    } catch (const kttl::Exception&) {
    }
    whole.fromXML(std::string(reinterpret_cast<const char*>(data), size).c_str());
    return 0;
}
