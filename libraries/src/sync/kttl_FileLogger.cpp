// The file logger's output: standard output plus an append-or-restart log file.
#include "kttl_FileLogger.h"

#include <sys/stat.h>

#include <cstdio>

namespace kttl {

FileLogger::FileLogger() : FileLogger(String(), DEFAULT_MAX_SIZE) {}

FileLogger::FileLogger(const String& path, int32_t maxSize)
    : Logger(TIME_FORMAT), m_path(path), m_maxSize(maxSize) {}

FileLogger::FileLogger(const FileLogger& other) : FileLogger(other.m_path, other.m_maxSize) {}

FileLogger::~FileLogger() { stop(ElapsedTime(DESTRUCTOR_STOP_MS)); }

bool FileLogger::output(const LogType&, const String& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    if (m_path.empty()) return true;

    struct stat st;
    const long long size = stat(m_path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    FILE* f = std::fopen(m_path.c_str(), size < m_maxSize ? "a" : "w");
    if (!f) return true;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fflush(f);
    std::fclose(f);
    return true;
}

}  // namespace kttl
