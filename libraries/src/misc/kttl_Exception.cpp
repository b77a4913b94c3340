#include "kttl_Exception.h"

#include <cstring>

namespace kttl {

Exception::Exception(const std::string& message) : m_message(message) {}

Exception::Exception(const char* file, int line, const char* className, const std::string& text) {
    m_message = sourcePath(file);
    m_message += " (";
    m_message += std::to_string(line);
    m_message += "): ";
    m_message += className ? className : "";
    m_message += "::";
    m_message += text;
}

std::string Exception::sourcePath(const char* file) {
    std::string path = file ? file : "";
    size_t from = std::string::npos;
    for (const char* root : {"libraries/src/", "projects/src/"}) {
        size_t at = path.rfind(root);
        if (at != std::string::npos && (from == std::string::npos || at > from)) from = at;
    }
    if (from == std::string::npos) {
        size_t slash = path.rfind('/');
        from = slash == std::string::npos ? 0 : slash + 1;
    }
    std::string rel = path.substr(from);
    size_t dot = rel.rfind('.');
    size_t slash = rel.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) rel.erase(dot);
    return "../../../../../" + rel;
}

}  // namespace kttl
