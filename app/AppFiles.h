// AppFiles: where the application's files live under its home directory, and reading them.
#pragma once

#include <cstddef>
#include <string>

#include "ktsl_Set.h"
#include "kttl_String.h"

namespace AppFiles {

// Largest settings file read; settings are a few kilobytes, anything near this is not one.
const size_t kMaxSettingsBytes = 1 << 20;

// The value of CS_APP_HOME; "" when unset.
kttl::String home();
// home() + "/html/settings_xml.txt", "/html/default_settings_xml.txt", "/html/".
kttl::String settingsPath();
kttl::String defaultSettingsPath();
kttl::String htmlDirectory();

enum class ReadResult { Ok, Unreadable, TooLarge };
// Reads a whole file of at most `limit` bytes into `text`, cut at the first zero byte (the parsers
// work on C strings). Unreadable: missing, not a regular file, or an I/O error; TooLarge: more than
// `limit` bytes (nothing is kept).
ReadResult readWhole(const kttl::String& path, size_t limit, std::string& text);

// Full paths of the entries of `directory` (not searched recursively) that are not directories and
// whose names contain "bin"; empty when the directory cannot be read.
ktsl::Set<kttl::String> listModelFiles(const kttl::String& directory);

}  // namespace AppFiles
