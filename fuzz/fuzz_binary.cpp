// Binary and file forms of every value and container type: byte 0 picks the type, bit 0 of byte 1
// picks the file form (the rest is the whole file) or the binary form (the rest is the input).
// What reads must write back exactly as long as announced, and that form must read again whole.
#include <string>

#include "FuzzValues.h"
#include "ScratchFile.h"

namespace {

void readFile(ktsl::Serializable& v, const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchFile("binary");
    if (fuzz::writeFile(path, data, size) && v.fromFile(path.c_str())) fuzz::binaryForm(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    std::unique_ptr<ktsl::Serializable> v = fuzz::byIndex(data[0]);
    const bool fileForm = data[1] & 1;
    data += 2;
    size -= 2;
    if (fileForm) {
        readFile(*v, data, size);
        return 0;
    }
    unsigned used = 0;
    try {
        used = v->fromBin(data, static_cast<unsigned>(size));
    } catch (const kttl::Exception&) {
        return 0;  // refused
    }
    fuzz::check(used <= size);
    const std::vector<unsigned char> written = fuzz::binaryForm(*v);
    std::unique_ptr<ktsl::Serializable> again = fuzz::byIndex(data[-2]);
    unsigned reread = 0;
    try {
        reread = again->fromBin(written.data(), static_cast<unsigned>(written.size()));
    } catch (const kttl::Exception&) {
        fuzz::check(false);  // a form this library wrote must read
    }
    // Not compared byte for byte: values outside a form's range (a time stamp past 2155) are
    // written in their reduced form, so one read-write step may change the bytes.
    fuzz::check(reread == written.size());
    fuzz::binaryForm(*again);
    return 0;
}
