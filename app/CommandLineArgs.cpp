// CommandLineArgs: the program's options ("-name value" or "/name value") as a name-to-value map.
#include "CommandLineArgs.h"

namespace {

bool isOption(const kttl::String& arg) { return !arg.empty() && (arg[0] == '-' || arg[0] == '/'); }

}  // namespace

CommandLineArgs::CommandLineArgs(int argc, const char* const* argv) {
    if (argc < 1 || argv == nullptr) return;
    m_program = argv[0];
    std::vector<kttl::String> args;
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    init(args);
}

void CommandLineArgs::init(const std::vector<kttl::String>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const kttl::String& arg = args[i];
        if (arg.empty()) return;
        if (!isOption(arg)) continue;
        kttl::String optionValue;
        if (i + 1 < args.size() && !isOption(args[i + 1])) {
            optionValue = args[i + 1];
            ++i;
        }
        m_options[arg.substr(1)] = optionValue;
    }
}

kttl::String CommandLineArgs::value(const kttl::String& key) const {
    auto it = m_options.find(key);
    return it == m_options.end() ? kttl::String() : it->second;
}
