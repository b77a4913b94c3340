// kttl::hexDigit: reading the hex digits of the text forms of buffers and identifiers.
#pragma once

namespace kttl {

// The value of one hex digit of either case; -1 for any other character.
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace kttl
