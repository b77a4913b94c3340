// check_forms <folder>: every binary seed that make_seeds wrote (possibly on another platform) must
// read whole and write back byte for byte, in its binary and its file form. Run on the camera's
// platform over the host's seeds, and the other way round, it shows that the written forms carry no
// platform's word size, byte order or padding.
#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzValues.h"
#include "ScratchFile.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Empty when the seed reads and writes back exactly; otherwise what went wrong.
std::string check(const Bytes& seed, const std::string& scratch) {
    if (seed.size() < 2) return "shorter than its two-byte header";
    std::unique_ptr<ktsl::Serializable> v = fuzz::byIndex(seed[0]);
    const Bytes form(seed.begin() + 2, seed.end());
    try {
        if (seed[1] & 1) {
            std::ofstream(scratch, std::ios::binary)
                .write(reinterpret_cast<const char*>(form.data()), static_cast<std::streamsize>(form.size()));
            if (!v->fromFile(scratch.c_str())) return "its file form does not read";
            if (!v->toFile(scratch.c_str())) return "its file form does not write";
            if (readAll(scratch) != form) return "its file form writes back different bytes";
        } else {
            const unsigned used = v->fromBin(form.data(), static_cast<unsigned>(form.size()));
            if (used != form.size()) return "its binary form reads " + std::to_string(used) + " of " + std::to_string(form.size()) + " bytes";
            if (fuzz::binaryForm(*v) != form) return "its binary form writes back different bytes";
        }
    } catch (const kttl::Exception& e) {
        return std::string("refused: ") + e.what();
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: check_forms <seed folder>\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/binary";
    const std::string scratch = fuzz::scratchPath("forms");
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        std::fprintf(stderr, "check_forms: cannot open %s\n", folder.c_str());
        return 2;
    }
    int checked = 0, failed = 0;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const std::string problem = check(readAll(folder + "/" + e->d_name), scratch);
        ++checked;
        if (!problem.empty()) {
            ++failed;
            std::fprintf(stderr, "check_forms: %s: %s\n", e->d_name, problem.c_str());
        }
    }
    closedir(dir);
    std::remove(scratch.c_str());
    std::printf("check_forms: %d binary and file forms, %d failed\n", checked, failed);
    return failed == 0 && checked > 0 ? 0 : 1;
}
