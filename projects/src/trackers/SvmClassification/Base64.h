// Base64: the text form that embedded classifier models travel in inside XML.
#pragma once

#include <string>
#include <vector>

// Standard alphabet with '=' padding, no line breaks.
std::string base64Encode(const unsigned char* data, size_t length);
// Decodes `text`, skipping whitespace. False (out unchanged) on any other character outside the
// alphabet, misplaced padding or a length that is not a whole number of 4-character groups.
bool base64Decode(const std::string& text, std::vector<unsigned char>& out);
