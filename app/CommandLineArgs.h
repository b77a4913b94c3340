// CommandLineArgs: the program's options ("-name value" or "/name value") as a name-to-value map.
#pragma once

#include <vector>

#include "ktsl_StringMap.h"
#include "kttl_String.h"

class CommandLineArgs {
public:
    CommandLineArgs() = default;
    // Takes argv[0] as the program name and parses every argument after it. argc below 1 or a null
    // argv gives an empty program name and no options.
    CommandLineArgs(int argc, const char* const* argv);

    // Parses `args` in order, adding to the options:
    // - an empty argument ends the parsing;
    // - an argument that does not begin with "-" or "/" is skipped;
    // - otherwise the name is the argument without its first character, and the next argument is its
    //   value (both consumed) unless there is none or it too begins with "-" or "/" (value "").
    // A repeated option keeps its last value.
    void init(const std::vector<kttl::String>& args);

    // The option's value; "" when the option was not given.
    kttl::String value(const kttl::String& key) const;
    bool has(const kttl::String& key) const { return m_options.find(key) != m_options.end(); }
    const kttl::String& programName() const { return m_program; }
    const ktsl::StringMap<kttl::String>& options() const { return m_options; }

private:
    kttl::String m_program;
    ktsl::StringMap<kttl::String> m_options;
};
