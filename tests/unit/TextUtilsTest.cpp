// The text functions: the constant decoder against constants built by hand
// from the layout, quoting, splitting, version comparison, and the checks on
// path texts that stand between the Win32 helpers and the system.
#include "payload/TextUtils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace saver {
namespace {

using namespace std::string_literals;

// An enciphered constant from its core: rotated left by rotation, then the
// rotation count as 8 hexadecimal digits.
std::string Stored(const std::string& core, size_t rotation)
{
    char count[9];
    std::snprintf(count, sizeof count, "%08zX", rotation);
    return core.substr(rotation) + core.substr(0, rotation) + count;
}

struct THexByteCase {
    const char* text;
    int value;
    const char* rest;
};

TEST(TakeHexByte, ReadsAndRemovesUpToTwoCharacters)
{
    const THexByteCase cases[] = {
        {"", 0, ""},          {"A", 10, ""},       {"7f", 127, ""},  {"aB", 171, ""}, {"FF00", 255, "00"},
        {"0G12", 0, "12"},    {"G", 0, ""},        {" 1", 0, ""},    {"-1", 0, ""},   {"+F", 0, ""},
        {"x9zz", 0, "zz"},    {"09", 9, ""},
    };
    for (const THexByteCase& c : cases) {
        std::string_view text = c.text;
        EXPECT_EQ(TakeHexByte(text), c.value) << '"' << c.text << '"';
        EXPECT_EQ(text, c.rest) << '"' << c.text << '"';
    }
}

struct TCoreCase {
    const char* what;
    std::string core;
    std::string plain;
};

// P, K, the characters XORed with K, the filler; 'H' ^ 0x5A = 0x12, 'i' ^ 0x5A = 0x33.
const TCoreCase CoreCases[] = {
    {"nothing", "0000", ""},
    {"key zero leaves the codes", "00004869", "Hi"},
    {"key", "005A1233", "Hi"},
    {"filler of hex digits", "025A1233FFFF", "Hi"},
    {"filler of other digits", "025A1233zz!#", "Hi"},
    {"lower-case digits", "025a1233abcd", "Hi"},
    {"filler longer than the rest", "FF5A1233", ""},
    {"filler that takes the text", "025A1233", ""},
    {"odd character at the end", "005A1233F", "Hi"},
    {"non-hexadecimal pair reads as 0", "005A12ZZ", "HZ"},
    {"only a half P", "0", ""},
    {"empty core", "", ""},
    {"zero byte", "00FFFF", "\0"s},
    {"every bit of the key", "00FF00B7", "\xFF\x48"},
};

TEST(DecodeConstant, DecodesEveryCoreWhateverTheRotation)
{
    for (const TCoreCase& c : CoreCases) {
        // R = 0 keeps the core as it is, R = n moves all of it.
        for (size_t rotation = 0; rotation <= c.core.size(); ++rotation) {
            std::string enciphered = Stored(c.core, rotation);
            EXPECT_EQ(DecodeConstant(enciphered), c.plain) << c.what << ": " << enciphered;
        }
    }
}

TEST(DecodeConstant, RotationCountMayBeLowerCase)
{
    std::string core = "025A1233ABCD";
    EXPECT_EQ(DecodeConstant(core.substr(10) + core.substr(0, 10) + "0000000a"), "Hi");
}

TEST(DecodeConstant, EmptyTextGivesEmptyText) { EXPECT_EQ(DecodeConstant(""), ""); }

struct TMalformedCase {
    const char* what;
    std::string enciphered;
};

TEST(DecodeConstant, MalformedRotationCountIsConversionError)
{
    const TMalformedCase cases[] = {
        {"shorter than a rotation count", "1234567"},
        {"one character", "0"},
        {"blank in the count", "005A1233 0000000"},
        {"letter beyond F", "005A1233G0000000"},
        {"sign", "005A1233-0000001"},
        {"prefix", "005A12330x000001"},
        {"count past the core", "005A123300000009"},
        {"count on an empty core", "00000001"},
        {"largest count", "005A1233FFFFFFFF"},
    };
    for (const TMalformedCase& c : cases)
        EXPECT_THROW(DecodeConstant(c.enciphered), EConvertError) << c.what;
}

struct TQuoteCase {
    const char* text;
    char quote;
    const char* quoted;
};

TEST(QuoteText, WrapsAndDoublesTheQuote)
{
    const TQuoteCase cases[] = {
        {"abc", '"', "\"abc\""},         {"", '"', "\"\""},           {"a\"b", '"', "\"a\"\"b\""},
        {"\"", '"', "\"\"\"\""},         {"it's", '\'', "'it''s'"},   {"a\"b", '\'', "'a\"b'"},
        {"C:\\a b\\x.exe", '"', "\"C:\\a b\\x.exe\""},
    };
    for (const TQuoteCase& c : cases)
        EXPECT_EQ(QuoteText(c.text, c.quote), c.quoted) << c.text;
}

struct TUnquoteCase {
    const char* text;
    char quote;
    const char* result;
};

TEST(UnquoteText, TakesTheFirstQuotedSegment)
{
    const TUnquoteCase cases[] = {
        {"\"abc\"", '"', "abc"},
        {"\"C:\\a b\\x.exe\" -nohome", '"', "C:\\a b\\x.exe"},
        {"\"a\"\"b\" c", '"', "a\"b"},
        {"\"\"\"\"", '"', "\""},
        {"'C:\\x'", '\'', "C:\\x"},
        {"'it''s' x", '\'', "it's"},
        // Not starting with the quote: unchanged.
        {"abc", '"', "abc"},
        {" \"abc\"", '"', " \"abc\""},
        {"'abc'", '"', "'abc'"},
        {"", '"', ""},
        // Nothing inside the quotes: unchanged.
        {"\"\"", '"', "\"\""},
        {"\"\" tail", '"', "\"\" tail"},
        {"\"", '"', "\""},
        // A quote never closed runs to the end.
        {"\"abc", '"', "abc"},
        {"\"C:\\a b\\x.exe -nohome", '"', "C:\\a b\\x.exe -nohome"},
        {"\"a\"\"b", '"', "a\"b"},
        {"\"\"\"", '"', "\""},
    };
    for (const TUnquoteCase& c : cases)
        EXPECT_EQ(UnquoteText(c.text, c.quote), c.result) << c.text;
}

TEST(UnquoteText, UndoesQuoteText)
{
    for (const char* text : {"a", "\"", "a\"b\"\"c", "C:\\Program Files\\x.exe", " ", "\"\""})
        EXPECT_EQ(UnquoteText(QuoteText(text, '"'), '"'), text) << text;
}

struct TSplitCase {
    const char* text;
    std::vector<std::string> pieces;
};

TEST(SplitText, PiecesBetweenSeparators)
{
    const TSplitCase cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"1.2.3", {"1", "2", "3"}},
        {"1..2", {"1", "", "2"}},
        {"1.2.", {"1", "2"}},
        {".", {""}},
        {".1", {"", "1"}},
        {"1..", {"1", ""}},
        {"..", {"", ""}},
        {"10.0.115.0", {"10", "0", "115", "0"}},
    };
    for (const TSplitCase& c : cases)
        EXPECT_EQ(SplitText(c.text, '.'), c.pieces) << '"' << c.text << '"';
    EXPECT_EQ(SplitText("a,b.c", ','), (std::vector<std::string>{"a", "b.c"}));
}

struct TVersionCase {
    const char* installed;
    const char* required;
    bool atLeast;
};

TEST(IsVersionAtLeast, ComparesThePositionsBothHave)
{
    const TVersionCase cases[] = {
        {"10.0.1", "9.0.115.0", true},
        {"9.0.115.0", "10.0", false},
        {"0.0.0.0", "0.0.0.0", true},
        {"", "0.0.0.0", false},
        {"0.0.0.0", "", false},
        {"", "", true},
        {"11.2.202.228", "9.0.115.0", true},
        {"1.2", "1.2.3", true},
        {"1.2.3", "1.2", true},
        {"1.3", "1.2.9", true},
        {"1.1.9", "1.2", false},
        // Numbers, not letters: 10 is more than 9.
        {"10.0", "9.99", true},
        {"9.99", "10.0", false},
        {"1.02", "1.2", true},
        // A part that is no number counts as 0.
        {"a.5", "0.4", true},
        {"x", "y", true},
        {"1.-1", "1.0", false},
        {"1. 2", "1.1", false},
        // Past the int range is no number either, rather than a wrapped one.
        {"4294967297.0", "1.0", false},
        {"2147483647", "2147483646", true},
        // Empty pieces are 0 as well.
        {"1..5", "1.0.4", true},
    };
    for (const TVersionCase& c : cases)
        EXPECT_EQ(IsVersionAtLeast(c.installed, c.required), c.atLeast) << c.installed << " vs " << c.required;
}

TEST(TrimText, DropsBlanksAndControlCharactersAtBothEnds)
{
    EXPECT_EQ(TrimText(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimText("\0x\0"s), "x");
    EXPECT_EQ(TrimText("   "), "");
    EXPECT_EQ(TrimText(""), "");
    EXPECT_EQ(TrimText("\xA0x\xA0"), "\xA0x\xA0");
}

struct TPathCase {
    std::string path;
    bool result;
};

TEST(IsAbsolutePath, OnlyDrivePathsAndUncNames)
{
    const TPathCase cases[] = {
        {"C:\\x", true},  {"c:/x", true},           {"C:\\", true},          {"C:", false},
        {"C:x", false},   {"\\x", false},           {"/x", false},           {"\\\\server\\share", true},
        {"//server/share", true}, {"x", false},     {"", false},             {"1:\\x", false},
        {"\\\\", false},  {"..\\x", false},
    };
    for (const TPathCase& c : cases)
        EXPECT_EQ(IsAbsolutePath(c.path), c.result) << c.path;
}

TEST(IsPlainFileName, OneEntryOfTheFolderAndNothingElse)
{
    const TPathCase cases[] = {
        {"{0A1B2C3D-1111-2222-3333-444455556666}", true},
        {"movie.swf", true},
        {" a", true},
        {".hidden", true},
        {"\xE9t\xE9", true},
        {"CONSOLE", true},
        {"COM10", true},
        {"COMA", true},
        {"", false},
        {".", false},
        {"..", false},
        {"...", false},
        {"a.", false},
        {"a ", false},
        {"a\\b", false},
        {"\\", false},
        {"a/b", false},
        {"C:", false},
        {"a:b", false},
        {"a\tb", false},
        {"a\x01", false},
        {"a\0b"s, false},
        {"a*", false},
        {"a?", false},
        {"a|b", false},
        {"<a>", false},
        {"\"a\"", false},
        {"CON", false},
        {"con.txt", false},
        {"Nul", false},
        {"NUL .txt", false},
        {"COM1", false},
        {"LPT9.log", false},
        {"COM\xB9", false},
        {"CONOUT$", false},
    };
    for (const TPathCase& c : cases)
        EXPECT_EQ(IsPlainFileName(c.path), c.result) << c.path;
}

struct TSubfolderCase {
    const char* folder;
    std::string name;
    const char* path;
};

TEST(SubfolderPath, ExactlyOneSeparatorAndNeverOutside)
{
    const TSubfolderCase cases[] = {
        {"C:\\Temp\\", "x", "C:\\Temp\\x"},
        {"C:\\Temp", "x", "C:\\Temp\\x"},
        {"C:\\Temp/", "x", "C:\\Temp/x"},
        {"\\\\srv\\tmp\\", "x", "\\\\srv\\tmp\\x"},
        {"C:\\", "{A}", "C:\\{A}"},
        {"C:\\Temp\\", "", ""},
        {"C:\\Temp\\", ".", ""},
        {"C:\\Temp\\", "..", ""},
        {"C:\\Temp\\", "a\\..\\..", ""},
        {"C:\\Temp\\", "D:\\x", ""},
        {"C:\\Temp\\", "a\nb", ""},
        {"", "x", ""},
        {"Temp\\", "x", ""},
        {"C:Temp", "x", ""},
    };
    for (const TSubfolderCase& c : cases)
        EXPECT_EQ(SubfolderPath(c.folder, c.name), c.path) << c.folder << " + " << c.name;
}

struct TCommandCase {
    const char* command;
    const char* program;
};

TEST(ProgramOfOpenCommand, ReducesACommandToItsQuotedProgram)
{
    const TCommandCase cases[] = {
        {"\"C:\\Program Files\\Glimmo\\browser.exe\" -nohome", "\"C:\\Program Files\\Glimmo\\browser.exe\""},
        {"\"C:\\Apps\\viewer.exe\" \"%1\"", "\"C:\\Apps\\viewer.exe\""},
        {"C:\\Apps\\viewer.exe %1", "\"C:\\Apps\\viewer.exe\""},
        {"'C:\\Apps\\viewer.exe' '%1'", "\"C:\\Apps\\viewer.exe\""},
        {"\"C:\\Apps\\viewer.exe\" /dde", "\"C:\\Apps\\viewer.exe\""},
        {"\"C:\\Apps\\viewer.exe\" -a /b \"%1\"", "\"C:\\Apps\\viewer.exe\""},
        {"  \"C:\\a b\\x.exe\"\t", "\"C:\\a b\\x.exe\""},
        // Only a blank before "-" cuts.
        {"\"C:\\my-apps\\x.exe\" %1", "\"C:\\my-apps\\x.exe\""},
        // Without double quotes nothing is cut.
        {"C:\\Apps\\viewer.exe -nohome %1", "\"C:\\Apps\\viewer.exe -nohome\""},
        {"\"%1\"", ""},
        {"", ""},
    };
    for (const TCommandCase& c : cases)
        EXPECT_EQ(ProgramOfOpenCommand(c.command), c.program) << c.command;
}

} // namespace
} // namespace saver
