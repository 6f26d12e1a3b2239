// The configuration dialog's layout as arithmetic: from the picture's own
// size, the copyright label's and close button's sizes and visibilities and
// the clamp limits, the client size and every control's bounds. The Win32
// dialog measures its controls, calls LayoutDialog on each show and applies
// the result; nothing here touches a window.
#pragma once

#include "host/Geometry.h"

#include <cstdint>
#include <span>

namespace saver {

// One control that takes part in the vertical stack.
struct TLayoutControl {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    bool Visible = false;
};

struct TDialogLayoutInput {
    // The picture's own size; without a picture the image's design size.
    std::int32_t PictureWidth = 0;
    std::int32_t PictureHeight = 0;
    // The label is to be visible exactly when its caption is not empty; the
    // caller decides that and passes the label's measured size.
    TLayoutControl Label;
    TLayoutControl Button;
    // The window's outer size less its client size, as the window has it now.
    std::int32_t NonClientWidth = 0;
    std::int32_t NonClientHeight = 0;
    // The work areas of all monitors; the picture must fit the smallest.
    std::span<const TRect> WorkAreas;
};

struct TDialogLayout {
    std::int32_t ClientWidth = 0;
    std::int32_t ClientHeight = 0;
    // Bounds in client coordinates. A hidden control keeps empty bounds.
    TRect Image;
    TRect Label;
    TRect Button;
    // True when the picture did not fit and is drawn scaled to Image's size
    // (automatic sizing off, stretching on); false when it shows at its own
    // size, untouched.
    bool Stretched = false;
};

// The layout on show:
// - The picture's width and height are clamped with ClampToSmallestWorkArea,
//   the non-client width as the horizontal margin and, as the vertical
//   margin, the non-client height plus height + 4 for each visible label and
//   button.
// - If either value changed, the picture is scaled by one factor, the
//   largest that keeps it within BOTH clamped limits: the side whose limit
//   binds harder takes its limit exactly, the other side is W0 : H0 of it,
//   rounded down, but never less than 1 pixel while its limit allows one.
//   A limit of zero or less (margins larger than the work area) leaves
//   no room for the picture: it becomes 0 x 0. A picture with a zero side has no
//   proportions; it keeps each side's clamped value, not below 0.
// - Client width = the picture's shown width, widened to width + 16 for a
//   visible label or button that needs more.
// - The image, then the visible label, then the visible button are stacked
//   4 pixels apart from the top edge, each centred ((client width - width)
//   / 2, truncated toward zero); a visible button adds 4 pixels under it.
//   The client height is the resulting bottom.
// Negative sizes are read as 0.
TDialogLayout LayoutDialog(const TDialogLayoutInput& input);

} // namespace saver
