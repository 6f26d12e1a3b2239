#include "payload/TextUtils.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace saver {

namespace {

constexpr size_t RotationDigits = 8;

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A decimal integer of the int range with an optional sign, nothing else;
// 0 for anything that is not one.
int DecimalOrZero(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return 0;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > int64_t{std::numeric_limits<int>::max()} + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(value);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

// CON, PRN, AUX, NUL, COM0..9, LPT0..9 and the console names; Windows also
// counts the superscript digits 1, 2 and 3 of the ANSI code page as digits.
bool IsDeviceName(std::string_view base)
{
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsIgnoringAsciiCase(base, device))
            return true;
    }
    if (base.size() != 4)
        return false;
    std::string_view stem = base.substr(0, 3);
    if (!EqualsIgnoringAsciiCase(stem, "COM") && !EqualsIgnoringAsciiCase(stem, "LPT"))
        return false;
    char digit = base[3];
    return (digit >= '0' && digit <= '9') || digit == '\xB9' || digit == '\xB2' || digit == '\xB3';
}

// Removes every occurrence of piece from text.
void RemoveAll(std::string& text, std::string_view piece)
{
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at))
        text.erase(at, piece.size());
}

void CutAtFirst(std::string& text, std::string_view piece)
{
    size_t at = text.find(piece);
    if (at != std::string::npos)
        text.erase(at);
}

} // namespace

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int TakeHexByte(std::string_view& text)
{
    std::string_view digits = text.substr(0, 2);
    text.remove_prefix(digits.size());
    if (digits.empty())
        return 0;
    int value = 0;
    for (char c : digits) {
        int digit = HexDigitValue(c);
        if (digit < 0)
            return 0;
        value = value * 16 + digit;
    }
    return value;
}

std::string DecodeConstant(std::string_view enciphered)
{
    if (enciphered.empty())
        return {};
    if (enciphered.size() < RotationDigits)
        throw EConvertError("enciphered constant too short for its rotation count");
    uint64_t rotation = 0;
    for (char c : enciphered.substr(enciphered.size() - RotationDigits)) {
        int digit = HexDigitValue(c);
        if (digit < 0)
            throw EConvertError("enciphered constant has no hexadecimal rotation count");
        rotation = rotation * 16 + static_cast<uint64_t>(digit);
    }
    std::string_view stored = enciphered.substr(0, enciphered.size() - RotationDigits);
    if (rotation > stored.size())
        throw EConvertError("enciphered constant's rotation count exceeds its core");

    // The stored text is the core rotated left by R: its last R characters
    // are the core's first ones.
    size_t split = stored.size() - static_cast<size_t>(rotation);
    std::string core;
    core.reserve(stored.size());
    core.append(stored.substr(split)).append(stored.substr(0, split));

    std::string_view rest = core;
    size_t fillerLength = 2 * static_cast<size_t>(TakeHexByte(rest));
    rest.remove_suffix(std::min(fillerLength, rest.size()));
    int key = TakeHexByte(rest);

    std::string plain;
    plain.reserve(rest.size() / 2);
    while (rest.size() >= 2)
        plain += static_cast<char>(TakeHexByte(rest) ^ key);
    return plain;
}

std::string QuoteText(std::string_view text, char quote)
{
    std::string quoted(1, quote);
    for (char c : text) {
        quoted += c;
        if (c == quote)
            quoted += quote;
    }
    quoted += quote;
    return quoted;
}

std::string UnquoteText(std::string_view text, char quote)
{
    if (text.empty() || text[0] != quote)
        return std::string(text);
    std::string inner;
    for (size_t at = 1; at < text.size(); ++at) {
        if (text[at] == quote) {
            if (at + 1 >= text.size() || text[at + 1] != quote)
                break;
            ++at;
        }
        inner += text[at];
    }
    return inner.empty() ? std::string(text) : inner;
}

std::vector<std::string> SplitText(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    while (!text.empty()) {
        size_t at = text.find(separator);
        pieces.emplace_back(text.substr(0, at));
        if (at == std::string_view::npos)
            break;
        text.remove_prefix(at + 1);
    }
    return pieces;
}

bool IsVersionAtLeast(std::string_view installed, std::string_view required)
{
    bool result = installed == required;
    std::vector<std::string> installedParts = SplitText(installed, '.');
    std::vector<std::string> requiredParts = SplitText(required, '.');
    size_t positions = std::min(installedParts.size(), requiredParts.size());
    for (size_t i = 0; i < positions; ++i) {
        int a = DecimalOrZero(installedParts[i]);
        int b = DecimalOrZero(requiredParts[i]);
        if (a != b)
            return a > b;
        result = true;
    }
    return result;
}

std::string TrimText(std::string_view text)
{
    while (!text.empty() && IsBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

bool IsAbsolutePath(std::string_view path)
{
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) {
        char drive = UpperAscii(path[0]);
        return drive >= 'A' && drive <= 'Z';
    }
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool IsPlainFileName(std::string_view name)
{
    if (name.empty() || name.back() == '.' || name.back() == ' ')
        return false;
    constexpr std::string_view Forbidden = "<>:\"/\\|?*";
    for (char c : name) {
        if (static_cast<unsigned char>(c) < ' ' || Forbidden.find(c) != std::string_view::npos)
            return false;
    }
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    return !IsDeviceName(base);
}

std::string SubfolderPath(std::string_view folder, std::string_view name)
{
    if (!IsAbsolutePath(folder) || !IsPlainFileName(name))
        return {};
    std::string path(folder);
    if (!IsSeparator(path.back()))
        path += '\\';
    path.append(name);
    return path;
}

std::string ProgramOfOpenCommand(std::string_view command)
{
    std::string program(command);
    if (program.find('"') != std::string::npos) {
        CutAtFirst(program, " -");
        CutAtFirst(program, " /");
        RemoveAll(program, "\"");
    }
    RemoveAll(program, "%1");
    RemoveAll(program, "'");
    program = TrimText(program);
    return program.empty() ? std::string() : QuoteText(program, '"');
}

} // namespace saver
