// The run mode of the saver and the command-line letter that selects it.
#pragma once

#include <cstdint>

namespace saver {

enum class TScreenSaverMode : uint8_t {
    smNone = 0,           // no recognised letter: designed size, no input ends it
    smChangePassword = 1, // A: change the Windows 9x screen-saver password
    smConfigure = 2,      // C, or no argument: the configuration dialog
    smPreview = 3,        // P: inside the preview window given as the second argument
    smFullScreen = 4,     // E: the real run, started by the S switch
};

constexpr TScreenSaverMode ModeOfLetter(char letter)
{
    switch (letter) {
    case 'A': return TScreenSaverMode::smChangePassword;
    case 'C': return TScreenSaverMode::smConfigure;
    case 'P': return TScreenSaverMode::smPreview;
    case 'E': return TScreenSaverMode::smFullScreen;
    default: return TScreenSaverMode::smNone;
    }
}

} // namespace saver
