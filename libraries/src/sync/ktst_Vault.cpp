// Out-of-line helpers of the vault templates: type names and the held-vault report.
#include "ktst_Vault.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>

namespace ktst {
namespace detail {

std::string typeName(const std::type_info& type) {
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = (status == 0 && readable) ? readable : type.name();
    std::free(readable);
    return name;
}

std::string heldVaultText(const char* vaultKind, const std::string& type, int count) {
    return "~" + std::string(vaultKind) + "<" + type + "> - Not all locks released (" + std::to_string(count) +
           ") before deleting vault.";
}

void reportHeldVault(const char* file, int line, const char* className, const std::string& text) {
    const kttl::Exception e(file, line, className, text);
    std::fprintf(stderr, "%s\n", e.what());
    std::fflush(stderr);
}

}  // namespace detail
}  // namespace ktst
