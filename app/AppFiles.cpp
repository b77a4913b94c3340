// AppFiles: where the application's files live under its home directory, and reading them.
#include "AppFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace AppFiles {

kttl::String home() {
    const char* value = getenv("CS_APP_HOME");
    return value != nullptr ? kttl::String(value) : kttl::String();
}

kttl::String settingsPath() { return home() + "/html/settings_xml.txt"; }

kttl::String defaultSettingsPath() { return home() + "/html/default_settings_xml.txt"; }

kttl::String htmlDirectory() { return home() + "/html/"; }

ReadResult readWhole(const kttl::String& path, size_t limit, std::string& text) {
    text.clear();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::Unreadable;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return ReadResult::Unreadable;
    // Read in bounded steps rather than trusting the size: the file may grow while being read.
    std::string content;
    char buffer[16384];
    ReadResult result = ReadResult::Ok;
    for (;;) {
        const size_t n = fread(buffer, 1, sizeof(buffer), file);
        if (n == 0) {
            if (ferror(file)) result = ReadResult::Unreadable;
            break;
        }
        if (content.size() + n > limit) {
            result = ReadResult::TooLarge;
            break;
        }
        content.append(buffer, n);
    }
    fclose(file);
    if (result != ReadResult::Ok) return result;
    const size_t zero = content.find('\0');
    if (zero != std::string::npos) content.resize(zero);
    text.swap(content);
    return ReadResult::Ok;
}

ktsl::Set<kttl::String> listModelFiles(const kttl::String& directory) {
    ktsl::Set<kttl::String> files;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return files;
    while (const dirent* entry = readdir(dir)) {
        if (std::strstr(entry->d_name, "bin") == nullptr) continue;
        kttl::String path = directory;
        if (!path.empty() && path.back() != '/') path += "/";
        path += entry->d_name;
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
        files.insert(path);
    }
    closedir(dir);
    return files;
}

}  // namespace AppFiles
