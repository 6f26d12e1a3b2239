// The rules by which the messages of the saver window end the saver, apart
// from any window: the movement threshold, the clicks, wheel turns and keys
// that end the full-screen run at once, the password check that may refuse
// an end, the terminate sequence and its guard, the re-sending of the input
// that the hooks forward from the movie's windows, and what the hooks post.
// The controller's window procedure hands every message of the form's window
// to TSaverMessageRules::SaverWndProc; everything that touches the system
// (the old window procedure, SendMessage, the password dialog, the pointer,
// painting, the form's bounds and parent) goes back through ISaverActions,
// so the rules are tested natively with a recording fake.
#pragma once

#include "host/ScreenSaverMode.h"

#include <cstdint>

namespace saver {

// The few Win32 message numbers the rules need, in a namespace of their own
// so that they sit beside <windows.h> and its macros without clashing.
namespace msg {
constexpr unsigned KeyDown = 0x100;
constexpr unsigned KeyUp = 0x101;
constexpr unsigned SysCommand = 0x112;
constexpr unsigned EraseBackground = 0x14;
constexpr unsigned Paint = 0x0F;
constexpr unsigned Close = 0x10;
constexpr unsigned MouseMove = 0x200;
// Left, right and middle button down, up and double-click, then the wheel:
// the range that ends the full-screen saver at once.
constexpr unsigned LeftButtonDown = 0x201;
constexpr unsigned MouseWheel = 0x20A;
// The system command (wParam of SysCommand) that asks to start a screen saver.
constexpr std::uintptr_t ScreenSaveCommand = 0xF140;
} // namespace msg

// Private messages posted to the form's window by the input hooks.
// WM_SAVERKEY: wParam the virtual key, lParam the keystroke flags, both as
// the keyboard hook received them. WM_SAVERMOUSE: wParam the identifier of
// the mouse message, lParam the screen position (PackSaverMousePosition).
constexpr unsigned WM_SAVERKEY = 0x8000;
constexpr unsigned WM_SAVERMOUSE = 0x8001;

// Mouse moves to new positions counted before any further move ends the saver.
constexpr std::int32_t MouseMoveThreshold = 3;

// One window message; wParam and lParam have the width of WPARAM and LPARAM
// on every target.
struct TSaverMessage {
    unsigned Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;

    friend constexpr bool operator==(const TSaverMessage&, const TSaverMessage&) = default;
};

struct TScreenPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
};

// What the rules ask of the window side. The controller implements it over
// Win32; exceptions it throws travel out of SaverWndProc (the Win32 window
// procedure catches them at its boundary).
class ISaverActions {
public:
    virtual ~ISaverActions() = default;

    // The form's window procedure as it was before the controller replaced
    // it; answers its result.
    virtual std::intptr_t CallOldWindowProc(const TSaverMessage& message) = 0;
    // SendMessage to the form's window: runs SaverWndProc again at once.
    virtual void SendToForm(const TSaverMessage& message) = 0;
    // The form's client-area origin in screen coordinates.
    virtual TScreenPoint FormClientOrigin() = 0;

    // The Windows 9x password check: true when the saver may end. May run a
    // modal dialog, which dispatches messages (SaverWndProc is re-entered).
    virtual bool VerifySaverPassword() = 0;
    // Shows (ShowCursor(TRUE) until the display count is 0 or more) or hides
    // (ShowCursor(FALSE) until it is below 0) the pointer.
    virtual void ApplyCursorVisibility(bool show) = 0;
    // The controller's tick; true when it drew its bitmap onto the form.
    virtual bool DoTick() = 0;

    // Sets the form's bounds to left = right edge and top = bottom edge of
    // the virtual desktop, keeping its width and height.
    virtual void MoveFormOutOfSight() = 0;
    // If the form has a parent window, makes it none and answers true;
    // answers false when it had none.
    virtual bool DetachFromParentWindow() = 0;

    // The steps of the terminate sequence after Terminating has been set.
    virtual void DisableRefreshTimer() = 0;
    virtual void RaiseOnTerminate() = 0;
    // Lets the application dispatch its pending messages.
    virtual void ProcessMessages() = 0;
    virtual void HideApplicationWindow() = 0;
    virtual void CloseMainForm() = 0;
};

// The controller's settings that the rules read; the controller's published
// properties and its construction write them directly.
struct TSaverSettings {
    TScreenSaverMode Mode = TScreenSaverMode::smNone;
    bool TerminateOnMouseMove = true;
    bool TerminateOnKeyDown = true;
    bool UsePassword = false;
};

class TSaverMessageRules {
public:
    explicit TSaverMessageRules(ISaverActions& actions) : actions_(actions) {}
    TSaverMessageRules(const TSaverMessageRules&) = delete;
    TSaverMessageRules& operator=(const TSaverMessageRules&) = delete;

    TSaverSettings Settings;

    // One message of the form's window: applies the rules, passes the
    // message on to the old window procedure unless it is withheld, and
    // answers the message's result (the old procedure's when passed on).
    std::intptr_t SaverWndProc(const TSaverMessage& message);

    // The terminate sequence. Runs once: Terminating is set at its first
    // step, and a later call returns at once.
    void TerminateSaver();
    // The closing of the preview: detaches the form from the preview window
    // and ends the saver. Does nothing when re-entered, or outside the
    // preview, or when the form has no parent window.
    void DetachPreview();

    bool ShowMouseCursor() const { return showMouseCursor_; }
    // The writer: stores the value, and in the full-screen mode shows or
    // hides the pointer at once.
    void SetShowMouseCursor(bool value);
    // Stores the value only; the pointer stays as it is.
    void StoreShowMouseCursor(bool value) { showMouseCursor_ = value; }

    std::int32_t MouseMoveCount() const { return mouseMoveCount_; }
    std::int32_t LastMouseX() const { return lastMouseX_; }
    std::int32_t LastMouseY() const { return lastMouseY_; }
    // The terminate sequence has begun; every message is only passed on.
    bool Terminating() const { return terminating_; }
    // An end has been requested and not refused; the hooks post nothing.
    bool EndPending() const { return endPending_; }

private:
    bool FullScreen() const { return Settings.Mode == TScreenSaverMode::smFullScreen; }
    void MovementRule(std::intptr_t lParam);
    void RequestTerminate();

    ISaverActions& actions_;
    bool showMouseCursor_ = false;
    std::int32_t mouseMoveCount_ = 0;
    std::int32_t lastMouseX_ = 0;
    std::int32_t lastMouseY_ = 0;
    bool terminating_ = false;
    bool endPending_ = false;
    bool inDetach_ = false;
};

// What the mouse hook posts: WM_SAVERMOUSE, when a saver is active (not
// null), ends on mouse input, has no end pending, and the hook record's
// window is not the form's window (the form sees its own input directly).
bool MouseHookPosts(const TSaverMessageRules* activeSaver, bool recordWindowIsForm);
// What the keyboard hook posts: WM_SAVERKEY, when a saver is active, ends on
// keys and has no end pending.
bool KeyboardHookPosts(const TSaverMessageRules* activeSaver);

// The lParam of WM_SAVERMOUSE: x in the low and y in the high 16 bits, each
// cut to 16 bits.
std::intptr_t PackSaverMousePosition(std::int32_t screenX, std::int32_t screenY);
// The key message re-sent for WM_SAVERKEY: KeyUp when bit 31 of the
// keystroke flags is set (the key is being released), else KeyDown.
unsigned KeyMessageOfFlags(std::intptr_t keystrokeFlags);
// The mouse message re-sent for WM_SAVERMOUSE: the identifier from wParam,
// wParam 0 (no key state is known), and the position turned from screen into
// client coordinates (the halves of the packed position read as signed
// 16-bit) and packed as a WM_MOUSEMOVE carries it, so that a move over the
// movie and one over the form compare alike.
TSaverMessage ReSentMouseMessage(const TSaverMessage& saverMouse, TScreenPoint clientOrigin);

} // namespace saver
