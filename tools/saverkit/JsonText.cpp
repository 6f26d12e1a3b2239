#include "saverkit/JsonText.h"

#include <cstdio>

namespace saverkit {

namespace {

std::string Hex(const char* format, unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string JsonByteString(const std::string& bytes)
{
    std::string out = "\"";
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            out += Hex("\\u%04x", b);
        } else if (b < 0x80) {
            out += c;
        } else {
            // The code point b in UTF-8: two bytes.
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out + "\"";
}

std::string PrintableName(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b == '\\')
            out += "\\\\";
        else if (b >= 0x20 && b < 0x7F)
            out += c;
        else
            out += Hex("\\x%02x", b);
    }
    return out;
}

} // namespace saverkit
