// kttl::FileLogger: a logger writing every line to standard output and to a size-limited file.
#pragma once

#include <cstdint>

#include "kttl_Logger.h"

namespace kttl {

// The file is opened, appended to and closed for every line, so others may remove or rotate it at
// any time. Once it has reached the maximum size the next line empties it and starts it again.
class FileLogger : public Logger {
public:
    static constexpr const char* TIME_FORMAT = "%H:%M:%S.%s %m-%d-%y";
    static constexpr int32_t DEFAULT_MAX_SIZE = 1048576;
    static constexpr uint32_t DESTRUCTOR_STOP_MS = 15000;

    // No file: standard output only.
    FileLogger();
    // An empty path means no file.
    explicit FileLogger(const String& path, int32_t maxSize = DEFAULT_MAX_SIZE);
    // Copies path and maximum size; the copy is stopped.
    FileLogger(const FileLogger& other);
    FileLogger& operator=(const FileLogger&) = delete;
    // Stops the thread, writing out what is queued, within 15 seconds.
    ~FileLogger() override;

    // Writes the line to standard output and, when a path is set, to the file. Always true: a file
    // that cannot be examined or opened is skipped silently.
    bool output(const LogType& type, const String& line) override;

    const String& getPath() const { return m_path; }
    int32_t getMaxSize() const { return m_maxSize; }

private:
    String m_path;
    int32_t m_maxSize;
};

}  // namespace kttl
