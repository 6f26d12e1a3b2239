// The check a link target passes before it may reach the web browser. The
// target comes from the payload and ends up on a command line after the
// browser's path, so it must arrive as exactly one argument that can neither
// be read as an option nor open anything but a web page or a mail form.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace saver {

// The longest target accepted, in bytes: the common browser limit for URLs,
// far below the length of a command line.
constexpr std::size_t MaxLinkTargetLength = 2048;

// The link target to open, or nothing when it must not be opened.
// - Blanks and control characters at both ends are trimmed.
// - Rejected: an empty result; any control character (codes below 32 and
//   127), blank, double quote or backslash inside (a web address writes
//   these as %-escapes; a backslash would also change how the closing quote
//   of the argument is read); more than MaxLinkTargetLength bytes.
// - A scheme is the text before the first ':' when it is a letter followed
//   by letters, digits, '+', '-' or '.'. Accepted schemes, compared without
//   regard to case and written back in lower case: "http" and "https"
//   followed by "//" and a host, and "mailto" followed by an address.
//   Every other scheme is rejected: file:, javascript:, data:, a drive
//   letter such as C:/x, and so on.
// - A name followed by ':' and only digits up to the end or a '/' is a host
//   with a port, not a scheme ("example.com:8080/x").
// - A target without a scheme must begin with an ASCII letter or digit, as
//   a host name does (this refuses '-' and '/' that a browser would take as
//   a switch, "//server/share" and relative paths); it gets "http://" in
//   front.
// %-escapes are passed on as they stand, well-formed or not: decoding is the
// browser's business, and no escape can become a quote on the command line.
std::optional<std::string> NormalizeLinkTarget(std::string_view target);

// The command-line argument for a target that NormalizeLinkTarget returned:
// the target in double quotes. Such a target holds no quote, backslash,
// blank or control character, so the quoted text is one argument for every
// command-line parser. Text that could break out of the quotes (a double
// quote, a backslash or a control character) yields an empty string: open
// nothing.
std::string BrowserArgument(std::string_view normalized);

} // namespace saver
