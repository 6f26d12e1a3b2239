// Texts for saverkit's listings: item names are arbitrary bytes.
#pragma once

#include <string>

namespace saverkit {

// A JSON string literal in which every byte 0x00-0xFF stands for the code point
// of the same value, so that any name survives a round trip.
std::string JsonByteString(const std::string& bytes);

// Printable ASCII as is, every other byte as \xNN (and the backslash doubled).
std::string PrintableName(const std::string& bytes);

} // namespace saverkit
