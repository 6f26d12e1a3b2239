// The FlashVars text handed to every movie surface: the payload's extra
// variables first, then the run-mode variable "glimmomode".
#pragma once

#include "host/ScreenSaverMode.h"

#include <string>
#include <string_view>

namespace saver {

// "normal" for smFullScreen, "preview" for smPreview, "" for any other mode.
std::string_view FlashVarsModeText(TScreenSaverMode mode);

// "glimmomode=" + the mode text, with extraFlashVars and "&" in front when
// extraFlashVars is not empty. Extra variables that already end in "&" get no
// second one, so the movie never sees an empty variable between them.
std::string FlashVarsText(std::string_view extraFlashVars, TScreenSaverMode mode);

} // namespace saver
