#include "host/CommandLine.h"

#include "host/SwitchLetter.h"

#include <windows.h>

namespace saver {

char GetSwitchLetter()
{
    const char* commandLine = GetCommandLineA();
    return SwitchLetterOfCommandLine(commandLine ? commandLine : "");
}

} // namespace saver
