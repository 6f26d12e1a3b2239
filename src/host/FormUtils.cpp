// The Win32 side of window placement: SetWindowPos for the topmost band, the
// system's monitors for the clamp, and the form's own SetBounds for centring.
#include "host/FormUtils.h"

#include "host/PlacementMath.h"

#include <vector>

namespace saver {

static_assert(TopMostFixedFlags == (SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE));

bool SetWindowTopMost(HWND window, UINT flags)
{
    return SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags | TopMostFixedFlags) != FALSE;
}

bool SetControlTopMost(win::TWindowedControl& control, UINT flags)
{
    return SetWindowTopMost(control.Handle(), flags);
}

void ClampToSmallestWorkArea(std::int32_t& width, std::int32_t& height, std::int32_t horizontalMargin,
                             std::int32_t verticalMargin, const win::IMonitorList& monitors)
{
    std::vector<TRect> workAreas;
    for (const win::TMonitor& monitor : monitors.Monitors())
        workAreas.push_back(monitor.WorkArea);
    ClampToSmallestWorkArea(width, height, horizontalMargin, verticalMargin, workAreas);
}

void ClampToSmallestWorkArea(std::int32_t& width, std::int32_t& height, std::int32_t horizontalMargin,
                             std::int32_t verticalMargin)
{
    ClampToSmallestWorkArea(width, height, horizontalMargin, verticalMargin, win::TSystemMonitors{});
}

void CenterFormInRect(win::TWindowedControl& form, const TRect& rect)
{
    TRect bounds = form.BoundsRect();
    TRect centred = CenteredBounds(rect, bounds.Width(), bounds.Height());
    form.SetBounds(centred.Left, centred.Top, centred.Width(), centred.Height());
}

} // namespace saver
