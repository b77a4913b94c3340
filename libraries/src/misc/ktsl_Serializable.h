// ktsl::Serializable: the contract of every value that crosses a boundary (stream, file, wire, XML).
#pragma once

#include "ktsl_TypeIds.h"

namespace kttl {
class String;
}

namespace ktsl {

// A value that knows its type id and name and converts itself to and from a compact binary form
// and an XML form. Plug-ins built apart from this library call through the virtual table, so the
// slots below keep their order; do not reorder.
//
// Binary contract: getBinLength() is exactly what toBin() writes; the caller provides that many
// bytes. fromBin() treats its input as untrusted: it never reads past `length`, never allocates
// from a length field more than the input could hold, and throws kttl::Exception with
// "ktsl::Serializable::fromBin() - Failed!" on short or inconsistent input. The values of this
// library leave themselves unchanged when fromBin() or fromXML() fails.
class Serializable {
public:
    virtual ~Serializable();

    virtual unsigned short getTypeId() const = 0;
    // Type names replace "::" by "_" ("kttl_String"); used as the default XML tag.
    virtual kttl::String getTypeName() const = 0;
    // The XML form under the type name as tag. A class that overrides toXML(const char*) hides this
    // overload for callers using the class directly: add `using ktsl::Serializable::toXML;`.
    virtual kttl::String toXML() const;
    // The XML form under `tag`; a null tag yields the empty string.
    virtual kttl::String toXML(const char* tag) const = 0;
    // Fills the value from an XML form; false (value unchanged) when it cannot be read.
    virtual bool fromXML(const char* xml) = 0;
    virtual unsigned getBinLength() const = 0;
    // Writes getBinLength() bytes to `out`; returns the number written.
    virtual unsigned toBin(unsigned char* out) const = 0;
    // Reads the binary form from the first `length` bytes of `in`; returns the bytes consumed.
    virtual unsigned fromBin(const unsigned char* in, unsigned length) = 0;
    // File form: u16 type id, u32 length, the binary form; the file is truncated first. True when
    // the whole form was written.
    virtual bool toFile(const char* path) const;
    // Reads a file written by toFile(). False when the file is missing, short, of another type, its
    // recorded length exceeds the file, or fromBin() does not consume exactly the recorded length.
    virtual bool fromFile(const char* path);

    // Throws the plain "ktsl::Serializable::fromBin() - Failed!" exception every binary reader uses.
    [[noreturn]] static void fromBinFailed();
};

}  // namespace ktsl

// Every signature above names kttl::String by value; users of Serializable need it complete.
#include "kttl_String.h"
