// Scratch files of the fuzz targets that read from paths: in memory (/dev/shm) when the system
// has it, since a disk write per input would bound the execution rate.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fuzz {

// A per-process path for `name` in the scratch folder.
inline std::string scratchPath(const char* name) {
    struct stat st;
    const char* dir = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/kt_fuzz_" + name + "_" + std::to_string(getpid());
}

// Removes the paths it is given (files, then empty folders, in reverse order) when the process ends.
class ScratchCleanup {
public:
    void add(const std::string& path) { m_paths.push_back(path); }
    ~ScratchCleanup() {
        for (size_t i = m_paths.size(); i-- > 0;)
            if (unlink(m_paths[i].c_str()) != 0) rmdir(m_paths[i].c_str());
    }

private:
    std::vector<std::string> m_paths;
};

inline ScratchCleanup& cleanup() {
    static ScratchCleanup c;
    return c;
}

// scratchPath(name), removed again when the process ends.
inline std::string scratchFile(const char* name) {
    const std::string path = scratchPath(name);
    cleanup().add(path);
    return path;
}

// Replaces the file's content by the input; false when it cannot be written.
inline bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace fuzz
