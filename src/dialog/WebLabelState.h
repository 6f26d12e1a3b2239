// The look of the hyperlink label as a state machine: the mouse and button
// events the label receives go in, the colour, underline and cursor to show
// and whether the link is to be opened come out. The Win32 label feeds it
// from its messages (mouse move with capture while held, mouse leave, button
// down and up, capture lost) and paints what Look() says.
#pragma once

#include <cstdint>

namespace saver {

// Colours as the platform stores them: 0x00BBGGRR.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clRed = 0x0000FF;

// The label's three colours; the defaults are those of a new label.
struct TWebLabelColors {
    TColor NormalColor = clBlack;
    TColor OverColor = clBlue;
    TColor ClickingColor = clRed;
};

// Which of the three colours the text shows.
enum class TWebLabelColorRole { Normal, Over, Clicking };

enum class TWebLabelCursor { Default, HandPoint };

struct TWebLabelLook {
    TWebLabelColorRole Color = TWebLabelColorRole::Normal;
    bool Underline = false;
    TWebLabelCursor Cursor = TWebLabelCursor::Default;

    friend bool operator==(const TWebLabelLook&, const TWebLabelLook&) = default;
};

TColor ColorOf(TWebLabelColorRole role, const TWebLabelColors& colors);

// Every event that depends on the link target takes hasTarget, the state of
// the target at that moment (the payload may set it after creation):
// - Entering with a target shows the hand cursor and the underline, in the
//   clicking colour while the button is held from a press on the label,
//   else in the over colour. Entering without a target changes nothing.
// - Leaving always restores the rest look: normal colour, no underline,
//   default cursor; a press goes on being held.
// - Button down on the label starts holding it (the caller captures the
//   mouse) and, with a target, shows the clicking colour.
// - Button up ends the hold and shows the normal colour; underline and
//   cursor stay until the mouse leaves. It returns true, the link is to be
//   opened, only when the press began on the label, the release is inside
//   it and there is a target.
// - Losing the capture ends a hold without a click.
class TWebLabelState {
public:
    void MouseEnter(bool hasTarget);
    void MouseLeave();
    // A move seen by the label (always while it holds the capture): turns a
    // change between inside and outside into MouseEnter or MouseLeave.
    void MouseMove(bool inside, bool hasTarget);
    void ButtonDown(bool hasTarget);
    [[nodiscard]] bool ButtonUp(bool inside, bool hasTarget);
    void CaptureLost();

    const TWebLabelLook& Look() const { return look_; }
    bool Held() const { return held_; }
    bool Inside() const { return inside_; }

private:
    TWebLabelLook look_;
    bool held_ = false;
    bool inside_ = false;
};

} // namespace saver
