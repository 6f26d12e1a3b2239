// The link target check: which targets may reach the browser, in which form,
// and that the command-line argument made of one is a single quoted argument.
#include "dialog/UrlCheck.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace saver {
namespace {

struct TTargetCase {
    const char* name;
    std::string target;
    std::optional<std::string> expected;
};

class NormalizeLinkTargetTest : public testing::TestWithParam<TTargetCase> {};

TEST_P(NormalizeLinkTargetTest, AcceptsOnlyWebAndMailLinks)
{
    const TTargetCase& c = GetParam();
    EXPECT_EQ(NormalizeLinkTarget(c.target), c.expected);
}

const std::optional<std::string> Rejected;

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizeLinkTargetTest,
    testing::Values(
        TTargetCase{"Http", "http://www.example.com/", "http://www.example.com/"},
        TTargetCase{"Https", "https://example.com/a?b=c&d=%20e#f", "https://example.com/a?b=c&d=%20e#f"},
        TTargetCase{"Mailto", "mailto:info@example.com?subject=Hi", "mailto:info@example.com?subject=Hi"},
        // The scheme is lowered, the rest kept as it is.
        TTargetCase{"MixedCaseHttp", "HtTp://Example.COM/Path", "http://Example.COM/Path"},
        TTargetCase{"UpperCaseHttps", "HTTPS://example.com", "https://example.com"},
        TTargetCase{"MixedCaseMailto", "MailTo:a@b.jp", "mailto:a@b.jp"},
        TTargetCase{"NoScheme", "www.example.com/x", "http://www.example.com/x"},
        TTargetCase{"NoSchemeWithPort", "example.com:8080/x", "http://example.com:8080/x"},
        TTargetCase{"NoSchemeDigitFirst", "192.168.0.1", "http://192.168.0.1"},
        TTargetCase{"TrimmedEnds", " \t http://example.com/ \r\n", "http://example.com/"},
        // Escapes are passed on, malformed ones too.
        TTargetCase{"MalformedEscapeKept", "http://example.com/%zz%", "http://example.com/%zz%"},
        TTargetCase{"HighBytesKept", "http://example.jp/\x93\xfa", "http://example.jp/\x93\xfa"},
        TTargetCase{"LongestAccepted", "http://" + std::string(MaxLinkTargetLength - 7, 'a'),
                    "http://" + std::string(MaxLinkTargetLength - 7, 'a')},

        TTargetCase{"Empty", "", Rejected},
        TTargetCase{"WhitespaceOnly", " \t\r\n ", Rejected},
        TTargetCase{"QuoteBreaksOut", "http://x.com/\" --incognito \"", Rejected},
        TTargetCase{"QuoteAlone", "http://x.com/\"", Rejected},
        TTargetCase{"TabInside", "http://x.com/a\tb", Rejected},
        TTargetCase{"NewlineInside", "http://x.com/a\nb", Rejected},
        TTargetCase{"NulInside", std::string("http://x.com/a\0b", 16), Rejected},
        TTargetCase{"DelInside", "http://x.com/a\x7f", Rejected},
        TTargetCase{"SpaceInside", "http://x.com/a b", Rejected},
        TTargetCase{"BackslashInside", "http://x.com/a\\", Rejected},
        TTargetCase{"FileScheme", "file:///C:/Windows/notepad.exe", Rejected},
        TTargetCase{"JavaScript", "javascript:alert(1)", Rejected},
        TTargetCase{"JavaScriptUpperCase", "JAVASCRIPT:alert(1)", Rejected},
        TTargetCase{"DataScheme", "data:text/html,hi", Rejected},
        TTargetCase{"FtpScheme", "ftp://example.com/", Rejected},
        TTargetCase{"DriveLetterBackslash", "C:\\x", Rejected},
        TTargetCase{"DriveLetterSlash", "C:/x", Rejected},
        TTargetCase{"UncPath", "\\\\server\\share", Rejected},
        TTargetCase{"UncPathSlashes", "//server/share", Rejected},
        TTargetCase{"LeadingDash", "-new-window", Rejected},
        TTargetCase{"LeadingDashAfterTrim", "  --kiosk", Rejected},
        TTargetCase{"LeadingSlash", "/s", Rejected},
        TTargetCase{"RelativePath", "../secret.htm", Rejected},
        TTargetCase{"HttpWithoutHost", "http://", Rejected},
        TTargetCase{"HttpWithoutSlashes", "http:example.com", Rejected},
        TTargetCase{"HttpThreeSlashes", "http:///etc/passwd", Rejected},
        TTargetCase{"MailtoWithoutAddress", "mailto:", Rejected},
        TTargetCase{"TooLong", "http://" + std::string(MaxLinkTargetLength - 6, 'a'), Rejected},
        TTargetCase{"TooLongWithDefaultScheme", std::string(MaxLinkTargetLength - 6, 'a'), Rejected}),
    [](const testing::TestParamInfo<TTargetCase>& info) { return std::string(info.param.name); });

// Splits a command line the way the C runtime and CommandLineToArgvW do, so
// the test sees how many arguments the browser would receive.
std::vector<std::string> SplitCommandLine(const std::string& line)
{
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size())
            break;
        std::string argument;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1)
                    argument += '"';
                else
                    quoted = !quoted;
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t')))
                    argument += line[i++];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

TEST(BrowserArgumentTest, AcceptedTargetsBecomeExactlyOneQuotedArgument)
{
    for (const char* target : {"http://example.com/", "MAILTO:a@b.jp", "www.example.com/a?b=c&d=|e^f<g>",
                               "https://example.com/%22%5C", "example.com:8080"}) {
        SCOPED_TRACE(target);
        std::optional<std::string> normalized = NormalizeLinkTarget(target);
        ASSERT_TRUE(normalized.has_value());
        std::string argument = BrowserArgument(*normalized);
        EXPECT_EQ(argument, "\"" + *normalized + "\"");
        std::vector<std::string> split = SplitCommandLine("\"C:\\Program Files\\Browser\\browser.exe\" " + argument);
        ASSERT_EQ(split.size(), 2u);
        EXPECT_EQ(split[1], *normalized);
    }
}

TEST(BrowserArgumentTest, TextThatCouldLeaveTheQuotesGivesNoArgument)
{
    for (std::string text : {std::string("http://x.com/\" -s \""), std::string("http://x.com/\\"),
                             std::string("http://x.com/\r\n"), std::string("a\0b", 3), std::string()}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(BrowserArgument(text), "");
    }
}

} // namespace
} // namespace saver
