#include "host/SwitchLetter.h"

namespace saver {

namespace {

constexpr char DefaultLetter = 'C';

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' '; }

} // namespace

std::optional<std::string> CommandLineArgument(std::string_view commandLine, int index)
{
    size_t at = 0;
    for (int current = 0;; ++current) {
        while (at < commandLine.size() && IsSeparator(commandLine[at]))
            ++at;
        if (at >= commandLine.size())
            return std::nullopt;
        std::string argument;
        bool quoted = false;
        for (; at < commandLine.size() && (quoted || !IsSeparator(commandLine[at])); ++at) {
            if (commandLine[at] == '"')
                quoted = !quoted;
            else
                argument += commandLine[at];
        }
        if (current == index)
            return argument;
    }
}

char SwitchLetterOf(const std::optional<std::string>& firstArgument)
{
    std::string_view argument = firstArgument ? std::string_view(*firstArgument) : std::string_view("/C");
    if (!argument.empty() && (argument[0] == '-' || argument[0] == '/'))
        argument.remove_prefix(1);
    if (argument.empty())
        return DefaultLetter;
    char letter = argument[0];
    return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
}

char SwitchLetterOfCommandLine(std::string_view commandLine)
{
    return SwitchLetterOf(CommandLineArgument(commandLine, 1));
}

} // namespace saver
