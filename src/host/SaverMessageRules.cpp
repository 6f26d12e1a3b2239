// The saver window's message rules, the terminate sequence's order and
// guards, and the packing of the hooks' private messages.
#include "host/SaverMessageRules.h"

#include <optional>
#include <utility>

namespace saver {

namespace {

// Runs a step when the scope is left, also by an exception.
template <typename TStep>
class TOnLeave {
public:
    explicit TOnLeave(TStep step) : step_(std::move(step)) {}
    TOnLeave(const TOnLeave&) = delete;
    TOnLeave& operator=(const TOnLeave&) = delete;
    ~TOnLeave() { step_(); }

private:
    TStep step_;
};

std::uint16_t LowWord(std::intptr_t value) { return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(value)); }
std::uint16_t HighWord(std::intptr_t value)
{
    return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(value) >> 16);
}

// MAKELPARAM: the two words side by side in 32 bits, zero-extended.
std::intptr_t PackWords(std::uint16_t low, std::uint16_t high)
{
    return static_cast<std::intptr_t>(std::uint32_t{low} | std::uint32_t{high} << 16);
}

bool IsButtonOrWheel(unsigned message) { return message >= msg::LeftButtonDown && message <= msg::MouseWheel; }

} // namespace

std::intptr_t TSaverMessageRules::SaverWndProc(const TSaverMessage& message)
{
    if (terminating_)
        return actions_.CallOldWindowProc(message);

    bool passOn = true;
    // The result of a message the rules answer themselves, also when it is
    // passed on.
    std::optional<std::intptr_t> ownResult;
    switch (message.Msg) {
    case msg::MouseMove:
        MovementRule(message.LParam);
        break;
    case msg::KeyDown:
    case msg::KeyUp:
        if (Settings.TerminateOnKeyDown && FullScreen())
            RequestTerminate();
        break;
    case msg::SysCommand:
        // A saver that is running swallows the request to start one.
        if (message.WParam == msg::ScreenSaveCommand) {
            ownResult = 1;
            passOn = false;
        }
        break;
    case msg::EraseBackground:
        // A drawn bitmap covers the background; otherwise the old procedure
        // erases it. Either way the background counts as erased.
        passOn = !actions_.DoTick();
        ownResult = 1;
        break;
    case msg::Close:
        actions_.MoveFormOutOfSight();
        DetachPreview();
        break;
    case WM_SAVERKEY:
        actions_.SendToForm(TSaverMessage{KeyMessageOfFlags(message.LParam), message.WParam, message.LParam});
        break;
    case WM_SAVERMOUSE:
        actions_.SendToForm(ReSentMouseMessage(message, actions_.FormClientOrigin()));
        break;
    default:
        if (IsButtonOrWheel(message.Msg) && Settings.TerminateOnMouseMove && FullScreen())
            RequestTerminate();
        break;
    }

    std::intptr_t result = passOn ? actions_.CallOldWindowProc(message) : 0;
    if (!terminating_ && message.Msg == msg::Paint)
        actions_.DoTick();
    return ownResult.value_or(result);
}

void TSaverMessageRules::MovementRule(std::intptr_t lParam)
{
    std::int32_t x = LowWord(lParam);
    std::int32_t y = HighWord(lParam);
    if (Settings.TerminateOnMouseMove && FullScreen() && mouseMoveCount_ >= MouseMoveThreshold)
        RequestTerminate();
    // Runs also when a refused password has just reset the count, so the
    // refused move itself may count as the first new position.
    if ((x != lastMouseX_ || y != lastMouseY_) && mouseMoveCount_ < MouseMoveThreshold)
        ++mouseMoveCount_;
    lastMouseX_ = x;
    lastMouseY_ = y;
}

void TSaverMessageRules::RequestTerminate()
{
    bool verified = true;
    endPending_ = true;
    // A granted end keeps EndPending set, so the hooks stay quiet to the end.
    TOnLeave clearUnlessVerified([&] {
        if (!verified)
            endPending_ = false;
    });
    if (Settings.UsePassword)
        verified = actions_.VerifySaverPassword();
    if (verified) {
        TerminateSaver();
        return;
    }
    // The password dialog showed the pointer; the writer hides it again if
    // it is to stay hidden.
    SetShowMouseCursor(showMouseCursor_);
    mouseMoveCount_ = 0;
}

void TSaverMessageRules::TerminateSaver()
{
    if (terminating_)
        return;
    // Set first: the messages dispatched below are only passed on.
    terminating_ = true;
    actions_.DisableRefreshTimer();
    actions_.RaiseOnTerminate();
    actions_.ProcessMessages();
    actions_.HideApplicationWindow();
    actions_.ProcessMessages();
    actions_.CloseMainForm();
}

void TSaverMessageRules::DetachPreview()
{
    if (inDetach_)
        return;
    inDetach_ = true;
    TOnLeave clearGuard([this] { inDetach_ = false; });
    if (Settings.Mode == TScreenSaverMode::smPreview && actions_.DetachFromParentWindow())
        TerminateSaver();
}

void TSaverMessageRules::SetShowMouseCursor(bool value)
{
    showMouseCursor_ = value;
    if (FullScreen())
        actions_.ApplyCursorVisibility(value);
}

bool MouseHookPosts(const TSaverMessageRules* activeSaver, bool recordWindowIsForm)
{
    return activeSaver != nullptr && activeSaver->Settings.TerminateOnMouseMove && !recordWindowIsForm &&
           !activeSaver->EndPending();
}

bool KeyboardHookPosts(const TSaverMessageRules* activeSaver)
{
    return activeSaver != nullptr && activeSaver->Settings.TerminateOnKeyDown && !activeSaver->EndPending();
}

std::intptr_t PackSaverMousePosition(std::int32_t screenX, std::int32_t screenY)
{
    return PackWords(static_cast<std::uint16_t>(screenX), static_cast<std::uint16_t>(screenY));
}

unsigned KeyMessageOfFlags(std::intptr_t keystrokeFlags)
{
    constexpr unsigned KeyMessages[2] = {msg::KeyDown, msg::KeyUp};
    return KeyMessages[(static_cast<std::uintptr_t>(keystrokeFlags) >> 31) & 1];
}

TSaverMessage ReSentMouseMessage(const TSaverMessage& saverMouse, TScreenPoint clientOrigin)
{
    // Monitors left of or above the primary one have negative coordinates,
    // which the hook's 16-bit halves carry in two's complement.
    std::int32_t screenX = static_cast<std::int16_t>(LowWord(saverMouse.LParam));
    std::int32_t screenY = static_cast<std::int16_t>(HighWord(saverMouse.LParam));
    // Wide, so that no origin overflows; only the low 16 bits travel on.
    std::int64_t clientX = std::int64_t{screenX} - clientOrigin.X;
    std::int64_t clientY = std::int64_t{screenY} - clientOrigin.Y;
    return TSaverMessage{static_cast<unsigned>(saverMouse.WParam), 0,
                         PackWords(static_cast<std::uint16_t>(clientX), static_cast<std::uint16_t>(clientY))};
}

} // namespace saver
