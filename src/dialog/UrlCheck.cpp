// Link target check: a whitelist of web and mail schemes and a character set
// that cannot leave a quoted command-line argument.
#include "dialog/UrlCheck.h"

#include <algorithm>

namespace saver {

namespace {

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 32; }

bool IsControl(char c)
{
    auto code = static_cast<unsigned char>(c);
    return code < 32 || code == 127;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsTrimmed(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsTrimmed(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsSchemeName(std::string_view name)
{
    if (name.empty() || !IsAsciiLetter(name.front()))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

// "host:8080" or "host:8080/path": digits after the colon, up to the end or
// the start of the path.
bool IsPort(std::string_view afterColon)
{
    std::size_t digits = 0;
    while (digits < afterColon.size() && IsAsciiDigit(afterColon[digits]))
        ++digits;
    return digits > 0 && (digits == afterColon.size() || afterColon[digits] == '/');
}

bool BreaksQuotes(char c) { return c == '"' || c == '\\' || IsControl(c); }

} // namespace

std::optional<std::string> NormalizeLinkTarget(std::string_view target)
{
    std::string_view url = Trimmed(target);
    if (url.empty() || url.size() > MaxLinkTargetLength)
        return std::nullopt;
    if (std::any_of(url.begin(), url.end(), [](char c) { return BreaksQuotes(c) || c == ' '; }))
        return std::nullopt;

    std::size_t colon = url.find(':');
    if (colon != std::string_view::npos && IsSchemeName(url.substr(0, colon)) && !IsPort(url.substr(colon + 1))) {
        std::string_view scheme = url.substr(0, colon);
        std::string_view rest = url.substr(colon + 1);
        bool web = EqualsIgnoringCase(scheme, "http") || EqualsIgnoringCase(scheme, "https");
        bool mail = EqualsIgnoringCase(scheme, "mailto");
        if (web && !(rest.size() > 2 && rest.substr(0, 2) == "//" && rest[2] != '/'))
            return std::nullopt;
        if (!web && !(mail && !rest.empty()))
            return std::nullopt;
        std::string normalized(url);
        std::transform(normalized.begin(), normalized.begin() + static_cast<std::ptrdiff_t>(colon),
                       normalized.begin(), AsciiLower);
        return normalized;
    }

    if (!IsAsciiLetter(url.front()) && !IsAsciiDigit(url.front()))
        return std::nullopt;
    constexpr std::string_view defaultScheme = "http://";
    if (url.size() + defaultScheme.size() > MaxLinkTargetLength)
        return std::nullopt;
    return std::string(defaultScheme).append(url);
}

std::string BrowserArgument(std::string_view normalized)
{
    if (normalized.empty() || std::any_of(normalized.begin(), normalized.end(), BreaksQuotes))
        return {};
    return std::string("\"").append(normalized).append("\"");
}

} // namespace saver
