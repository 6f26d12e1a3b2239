// The hyperlink label's look, changed by mouse events the way the label has
// always behaved: hover effects only with a target, the pressed colour kept
// while the press is held over the label.
#include "dialog/WebLabelState.h"

namespace saver {

TColor ColorOf(TWebLabelColorRole role, const TWebLabelColors& colors)
{
    switch (role) {
    case TWebLabelColorRole::Over:
        return colors.OverColor;
    case TWebLabelColorRole::Clicking:
        return colors.ClickingColor;
    case TWebLabelColorRole::Normal:
        break;
    }
    return colors.NormalColor;
}

void TWebLabelState::MouseEnter(bool hasTarget)
{
    inside_ = true;
    if (!hasTarget)
        return;
    look_.Cursor = TWebLabelCursor::HandPoint;
    look_.Color = held_ ? TWebLabelColorRole::Clicking : TWebLabelColorRole::Over;
    look_.Underline = true;
}

void TWebLabelState::MouseLeave()
{
    inside_ = false;
    look_ = TWebLabelLook{};
}

void TWebLabelState::MouseMove(bool inside, bool hasTarget)
{
    if (inside && !inside_)
        MouseEnter(hasTarget);
    else if (!inside && inside_)
        MouseLeave();
}

void TWebLabelState::ButtonDown(bool hasTarget)
{
    // A press reaches the label only with the pointer over it, whether or
    // not a move announced that before.
    MouseMove(true, hasTarget);
    held_ = true;
    if (hasTarget)
        look_.Color = TWebLabelColorRole::Clicking;
}

bool TWebLabelState::ButtonUp(bool inside, bool hasTarget)
{
    MouseMove(inside, hasTarget);
    const bool click = held_ && inside && hasTarget;
    held_ = false;
    look_.Color = TWebLabelColorRole::Normal;
    return click;
}

void TWebLabelState::CaptureLost()
{
    held_ = false;
    look_.Color = TWebLabelColorRole::Normal;
}

} // namespace saver
