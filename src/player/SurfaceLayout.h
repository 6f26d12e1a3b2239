// The geometry of the movie surfaces, apart from any window: which surfaces a
// run mode and the payload's layout value ask for, and where each one stands
// on the main form. The Win32 form creates one player per entry, in order,
// with the system's monitor bounds (full monitor rectangles, not work areas)
// in the system's order as input.
#pragma once

#include "host/Geometry.h"
#include "host/ScreenSaverMode.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace saver {

// The payload's SurfaceLayout values; every other value means no surface.
inline constexpr uint8_t LayoutWholeDesktop = 0;
inline constexpr uint8_t LayoutFirstMonitor = 1;
inline constexpr uint8_t LayoutEveryMonitor = 2;

struct TScreenPoint {
    int32_t X = 0;
    int32_t Y = 0;

    friend constexpr bool operator==(const TScreenPoint&, const TScreenPoint&) = default;
};

struct TSurfacePlacement {
    // Aligned to the form's whole client area, so it follows the form's size.
    // Bounds then is the extent that area has in the full-screen run (the
    // virtual desktop, from (0, 0)); in the preview it is empty, the preview
    // box's size being known only to the window.
    bool FillsClient = false;
    // Relative to the form's client area.
    TRect Bounds;
    // The monitor the surface is placed on; -1 for a client surface.
    int32_t MonitorIndex = -1;

    friend bool operator==(const TSurfacePlacement&, const TSurfacePlacement&) = default;
};

struct TSurfaceLayout {
    // Top-left corner of the bounding rectangle of all monitors, which may lie
    // at negative coordinates; the full-screen form stands there. (0, 0)
    // outside the full-screen run or with no monitor.
    TScreenPoint DesktopOrigin;
    // In creation order: each later surface lies above the earlier ones.
    std::vector<TSurfacePlacement> Surfaces;
};

// The bounding rectangle of all monitors; empty at (0, 0) for an empty list.
TRect DesktopBounds(std::span<const TRect> monitorBounds);

// Bounds of a surface placed on a monitor: the monitor's rectangle moved so
// that the desktop origin becomes (0, 0).
TRect MonitorSurfaceBounds(const TRect& monitor, TScreenPoint desktopOrigin);

// smPreview: one client surface. smFullScreen: layout 0 one client surface
// over the whole desktop, 1 one surface on monitor 0, 2 one per monitor in
// list order, any other value none. Other modes: none. With an empty monitor
// list layouts 1 and 2 give no surface (there is nothing to place one on)
// and layout 0 still gives its client surface.
TSurfaceLayout LayoutSurfaces(TScreenSaverMode mode, uint8_t surfaceLayout, std::span<const TRect> monitorBounds);

} // namespace saver
