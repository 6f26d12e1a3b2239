// Text functions shared by the payload catalogue, the player version check and
// the browser launch: the decoder of enciphered constants, quoting, splitting,
// dotted version texts, and the checks on path texts that the Win32 helpers
// make before they hand a path to the system. Texts are ANSI byte strings; no
// function here needs the platform.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace saver {

// A text that should hold a number in a fixed notation does not.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of one hexadecimal digit, either case; -1 for any other character.
int HexDigitValue(char c);

// The first two characters of text (fewer when it is shorter) read as a
// hexadecimal number, either case; 0 when they are not one (also for an empty
// text). Those characters are removed from text in every case.
int TakeHexByte(std::string_view& text);

// The plain text of an enciphered constant (see EncipheredConstant.h for the
// layout). An empty input gives an empty text. Raises EConvertError when the
// last 8 characters are not hexadecimal digits, when the text is shorter than
// 8 characters, and when the rotation count exceeds the core's length. Any
// other malformed core decodes to some text: non-hexadecimal pairs read as 0,
// filler longer than what is left removes everything, and an odd character at
// the end is ignored.
std::string DecodeConstant(std::string_view enciphered);

// quote, text with every quote doubled, quote.
std::string QuoteText(std::string_view text, char quote);

// For a text that starts with quote: the characters up to the next quote that
// is not doubled, each doubled quote counting as one. A quote that is never
// closed takes everything to the end. The input comes back unchanged when it
// does not start with quote, and whenever the result would be empty while the
// input is not.
std::string UnquoteText(std::string_view text, char quote);

// The pieces between separators, in order. An empty text gives no piece and a
// separator at the very end adds no empty piece; a separator at the start, or
// two in a row, give an empty piece.
std::vector<std::string> SplitText(std::string_view text, char separator);

// Dotted decimal versions: the positions both texts have are compared in
// turn and the first difference decides (a part that is no number counts as
// 0); equal counts as at least. 1.2 is at least 1.2.3; an empty text is only
// at least an empty text.
bool IsVersionAtLeast(std::string_view installed, std::string_view required);

// text without the blanks and control characters (codes 0 to 32) at either end.
std::string TrimText(std::string_view text);

// Whether path is absolute on Windows, so that no current directory takes
// part in what it names: a drive, a colon and a separator ("C:\..."), or a
// UNC name ("\\server\..."). "C:name", "\name" and "name" are relative.
bool IsAbsolutePath(std::string_view path);

// Whether name can stand as one component of a Windows path and names an
// entry of the folder it is joined to, nothing else: not empty, none of
// <>:"/\|?* nor control characters, not ending in "." or " " (Windows drops
// those, so "." , ".." and "..." would name the folder itself or its parent)
// and no device name such as CON, NUL or COM1, with or without extension.
bool IsPlainFileName(std::string_view name);

// folder, one "\" unless folder already ends in a separator, then name. Empty
// when folder is not an absolute path or name is not a plain file name, so the
// result never names anything outside folder.
std::string SubfolderPath(std::string_view folder, std::string_view name);

// The program of a registered open command, in double quotes, or "" when
// nothing is left: a command holding double quotes is cut at its first " -"
// and then at its first " /" and loses its double quotes; then every "%1" and
// every single quote goes, and the rest is trimmed.
std::string ProgramOfOpenCommand(std::string_view command);

} // namespace saver
