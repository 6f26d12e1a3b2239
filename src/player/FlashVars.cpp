// The FlashVars text of the movie surfaces.
#include "player/FlashVars.h"

namespace saver {

std::string_view FlashVarsModeText(TScreenSaverMode mode)
{
    switch (mode) {
    case TScreenSaverMode::smFullScreen: return "normal";
    case TScreenSaverMode::smPreview: return "preview";
    default: return "";
    }
}

std::string FlashVarsText(std::string_view extraFlashVars, TScreenSaverMode mode)
{
    std::string text(extraFlashVars);
    if (!text.empty() && text.back() != '&')
        text += '&';
    text += "glimmomode=";
    text += FlashVarsModeText(mode);
    return text;
}

} // namespace saver
