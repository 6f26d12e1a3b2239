// Reading the screen-saver switch from a command line, without the platform:
// the Win32 side hands in GetCommandLineA's text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace saver {

// The argument at index (0 is the program) of a command line split the way
// Windows programs traditionally split theirs: characters up to the blank
// separate, double quotes group and are dropped, backslashes are plain.
std::optional<std::string> CommandLineArgument(std::string_view commandLine, int index);

// The switch letter of a first argument ("/C" when there is none): a leading
// '/' or '-' is skipped, then the first character is upper-cased if it is
// a..z. A lone "/" or "-" names no letter and gives 'C', as no argument does.
char SwitchLetterOf(const std::optional<std::string>& firstArgument);

char SwitchLetterOfCommandLine(std::string_view commandLine);

} // namespace saver
