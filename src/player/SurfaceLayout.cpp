// Layout arithmetic of the movie surfaces.
#include "player/SurfaceLayout.h"

#include <algorithm>

namespace saver {

namespace {

// Wide subtraction narrowed back, wrapping like the platform's 32-bit
// arithmetic on absurd coordinates instead of overflowing.
int32_t Minus(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(int64_t{a} - b));
}

} // namespace

TRect DesktopBounds(std::span<const TRect> monitorBounds)
{
    if (monitorBounds.empty())
        return {};
    TRect bounds = monitorBounds.front();
    for (const TRect& monitor : monitorBounds.subspan(1)) {
        bounds.Left = std::min(bounds.Left, monitor.Left);
        bounds.Top = std::min(bounds.Top, monitor.Top);
        bounds.Right = std::max(bounds.Right, monitor.Right);
        bounds.Bottom = std::max(bounds.Bottom, monitor.Bottom);
    }
    return bounds;
}

TRect MonitorSurfaceBounds(const TRect& monitor, TScreenPoint desktopOrigin)
{
    return {Minus(monitor.Left, desktopOrigin.X), Minus(monitor.Top, desktopOrigin.Y),
            Minus(monitor.Right, desktopOrigin.X), Minus(monitor.Bottom, desktopOrigin.Y)};
}

TSurfaceLayout LayoutSurfaces(TScreenSaverMode mode, uint8_t surfaceLayout, std::span<const TRect> monitorBounds)
{
    TSurfaceLayout layout;
    if (mode == TScreenSaverMode::smPreview) {
        layout.Surfaces.push_back({true, {}, -1});
        return layout;
    }
    if (mode != TScreenSaverMode::smFullScreen)
        return layout;

    const TRect desktop = DesktopBounds(monitorBounds);
    layout.DesktopOrigin = {desktop.Left, desktop.Top};
    auto onMonitor = [&](std::size_t index) {
        layout.Surfaces.push_back({false, MonitorSurfaceBounds(monitorBounds[index], layout.DesktopOrigin),
                                   static_cast<int32_t>(index)});
    };
    switch (surfaceLayout) {
    case LayoutWholeDesktop:
        layout.Surfaces.push_back({true, MonitorSurfaceBounds(desktop, layout.DesktopOrigin), -1});
        break;
    case LayoutFirstMonitor:
        if (!monitorBounds.empty())
            onMonitor(0);
        break;
    case LayoutEveryMonitor:
        for (std::size_t i = 0; i < monitorBounds.size(); ++i)
            onMonitor(i);
        break;
    default:
        break;
    }
    return layout;
}

} // namespace saver
