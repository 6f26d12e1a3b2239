#include "host/ScreenSaverMode.h"
#include "host/SwitchLetter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string_view>

namespace saver {
namespace {

struct TLetterCase {
    const char* commandLine;
    char letter;
    TScreenSaverMode mode;
};

class SwitchLetterTest : public testing::TestWithParam<TLetterCase> {};

TEST_P(SwitchLetterTest, CommandLineSelectsLetterAndMode)
{
    const TLetterCase& c = GetParam();
    char letter = SwitchLetterOfCommandLine(c.commandLine);
    EXPECT_EQ(letter, c.letter) << c.commandLine;
    EXPECT_EQ(ModeOfLetter(letter), c.mode) << c.commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SwitchLetterTest,
    testing::Values(TLetterCase{"saver.scr", 'C', TScreenSaverMode::smConfigure},
                    TLetterCase{"saver.scr   ", 'C', TScreenSaverMode::smConfigure},
                    TLetterCase{"saver.scr /c:4567", 'C', TScreenSaverMode::smConfigure},
                    TLetterCase{"saver.scr -C", 'C', TScreenSaverMode::smConfigure},
                    TLetterCase{"saver.scr c", 'C', TScreenSaverMode::smConfigure},
                    TLetterCase{"saver.scr abc", 'A', TScreenSaverMode::smChangePassword},
                    TLetterCase{"saver.scr /a 1234", 'A', TScreenSaverMode::smChangePassword},
                    TLetterCase{"saver.scr x", 'X', TScreenSaverMode::smNone},
                    TLetterCase{"saver.scr -p 1234", 'P', TScreenSaverMode::smPreview},
                    TLetterCase{"saver.scr /p:1234", 'P', TScreenSaverMode::smPreview},
                    TLetterCase{"saver.scr /s", 'S', TScreenSaverMode::smNone},
                    TLetterCase{"saver.scr /S", 'S', TScreenSaverMode::smNone},
                    TLetterCase{"saver.scr /E", 'E', TScreenSaverMode::smFullScreen},
                    TLetterCase{"saver.scr e", 'E', TScreenSaverMode::smFullScreen},
                    // The program's own path may hold blanks inside quotes.
                    TLetterCase{"\"C:\\My Savers\\a b.scr\" /p 99", 'P', TScreenSaverMode::smPreview},
                    // A quoted first argument loses its quotes before the letter is read.
                    TLetterCase{"saver.scr \"/s\"", 'S', TScreenSaverMode::smNone},
                    // A lone switch character names no letter: configure, as with none.
                    TLetterCase{"saver.scr /", 'C', TScreenSaverMode::smConfigure},
                    TLetterCase{"saver.scr -", 'C', TScreenSaverMode::smConfigure},
                    TLetterCase{"saver.scr \"\"", 'C', TScreenSaverMode::smConfigure},
                    // Only a..z are upper-cased; other characters stand as they are.
                    TLetterCase{"saver.scr /1", '1', TScreenSaverMode::smNone},
                    TLetterCase{"saver.scr /\xe9", '\xe9', TScreenSaverMode::smNone},
                    // Only one leading switch character is skipped.
                    TLetterCase{"saver.scr //s", '/', TScreenSaverMode::smNone}),
    [](const testing::TestParamInfo<TLetterCase>& info) {
        // The case's arguments, reduced to what a test name may hold.
        std::string name = std::to_string(info.index) + "_";
        for (char c : std::string_view(info.param.commandLine))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(CommandLineArgument, SplitsOnBlanksAndGroupsQuotes)
{
    const char* line = "  prog.exe\t/p  \"12 34\"x \"\" end";
    EXPECT_EQ(CommandLineArgument(line, 0), "prog.exe");
    EXPECT_EQ(CommandLineArgument(line, 1), "/p");
    EXPECT_EQ(CommandLineArgument(line, 2), "12 34x");
    EXPECT_EQ(CommandLineArgument(line, 3), "");
    EXPECT_EQ(CommandLineArgument(line, 4), "end");
    EXPECT_EQ(CommandLineArgument(line, 5), std::nullopt);
    EXPECT_EQ(CommandLineArgument("", 0), std::nullopt);
}

} // namespace
} // namespace saver
