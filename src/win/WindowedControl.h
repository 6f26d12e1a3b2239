// TWindowedControl: the least a windowed control or form offers the placement
// helpers — its window handle, created on first use, its bounds and one call
// that sets all four bounds at once. Kept deliberately this small; the form
// and control classes implement it and add the rest of what they do.
#pragma once

#include "host/Geometry.h"

#include <windows.h>

#include <cstdint>

namespace saver::win {

class TWindowedControl {
public:
    virtual ~TWindowedControl() = default;

    // The control's window, which is created here if it does not exist yet.
    virtual HWND Handle() = 0;
    // Position and size: screen coordinates for a top-level window, the
    // parent's client coordinates for a child.
    virtual TRect BoundsRect() const = 0;
    // Moves and sizes the control in one change.
    virtual void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) = 0;

protected:
    TWindowedControl() = default;
    TWindowedControl(const TWindowedControl&) = default;
    TWindowedControl& operator=(const TWindowedControl&) = default;
};

} // namespace saver::win
