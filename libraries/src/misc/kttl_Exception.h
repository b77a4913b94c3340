// The one exception type of the class libraries: a message naming where and in which class it arose.
#pragma once

#include <exception>
#include <string>

namespace kttl {

class Exception : public std::exception {
public:
    // A plain message, used as is.
    explicit Exception(const std::string& message);
    // "<source path> (<line>): <className>::<text>", the source path made from `file` by sourcePath().
    Exception(const char* file, int line, const char* className, const std::string& text);

    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& getMessage() const { return m_message; }

    // The project-relative form of a compiler file path: five "../" steps, then the path from
    // "libraries/src/" or "projects/src/" on, without the extension. Other paths keep their
    // file name only.
    static std::string sourcePath(const char* file);

private:
    std::string m_message;
};

}  // namespace kttl

// Builds the exception at the call site: KT_THROW("kttl::SmartArray", "operator[]() - pointer is NULL!").
#define KT_EXCEPTION(className, text) ::kttl::Exception(__FILE__, __LINE__, (className), (text))
#define KT_THROW(className, text) throw KT_EXCEPTION(className, text)
