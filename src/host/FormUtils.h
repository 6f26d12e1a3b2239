// Placing windows: topmost without moving or activating, limiting a size to
// the smallest monitor work area, and centring a form in a rectangle.
#pragma once

#include "host/Geometry.h"
#include "win/Monitors.h"
#include "win/WindowedControl.h"

#include <windows.h>

#include <cstdint>

namespace saver {

// The flags SetWindowTopMost always adds: SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE.
inline constexpr UINT TopMostFixedFlags = 0x13;

// Puts window at the top of the topmost band; flags are added to the fixed
// ones. Returns what SetWindowPos returns.
bool SetWindowTopMost(HWND window, UINT flags);

// SetWindowTopMost on the control's window, creating it if need be.
bool SetControlTopMost(win::TWindowedControl& control, UINT flags);

// Lowers width and height to the smallest work-area width and height of the
// monitors, less the margins (see the portable overload in PlacementMath.h).
void ClampToSmallestWorkArea(std::int32_t& width, std::int32_t& height, std::int32_t horizontalMargin,
                             std::int32_t verticalMargin, const win::IMonitorList& monitors);
// The same with the system's monitors.
void ClampToSmallestWorkArea(std::int32_t& width, std::int32_t& height, std::int32_t horizontalMargin,
                             std::int32_t verticalMargin);

// Moves form, keeping its size, so that it is centred in rect; one bounds change.
void CenterFormInRect(win::TWindowedControl& form, const TRect& rect);

} // namespace saver
