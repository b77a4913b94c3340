// Base64: the text form that embedded classifier models travel in inside XML.
#include "Base64.h"

#include <cctype>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string base64Encode(const unsigned char* data, size_t length) {
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    for (size_t i = 0; i < length; i += 3) {
        const unsigned b0 = data[i], b1 = i + 1 < length ? data[i + 1] : 0, b2 = i + 2 < length ? data[i + 2] : 0;
        const unsigned v = (b0 << 16) | (b1 << 8) | b2;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < length ? kAlphabet[(v >> 6) & 63] : '=';
        out += i + 2 < length ? kAlphabet[v & 63] : '=';
    }
    return out;
}

bool base64Decode(const std::string& text, std::vector<unsigned char>& out) {
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() / 4 * 3);
    unsigned group = 0, count = 0, padding = 0;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        if (c == '=') {
            if (count < 2) return false;
            ++padding;
            ++count;
        } else {
            const int v = valueOf(c);
            if (v < 0 || padding) return false;
            group = (group << 6) | static_cast<unsigned>(v);
            ++count;
        }
        if (count == 4) {
            group <<= 6 * padding;
            bytes.push_back(static_cast<unsigned char>(group >> 16));
            if (padding < 2) bytes.push_back(static_cast<unsigned char>(group >> 8));
            if (padding < 1) bytes.push_back(static_cast<unsigned char>(group));
            if (padding) {
                count = 0;
                break;
            }
            group = count = 0;
        }
    }
    if (count != 0) return false;
    // Nothing but whitespace may follow the padding.
    const size_t end = text.find('=');
    if (end != std::string::npos)
        for (size_t i = end; i < text.size(); ++i)
            if (text[i] != '=' && !std::isspace(static_cast<unsigned char>(text[i]))) return false;
    out.swap(bytes);
    return true;
}
