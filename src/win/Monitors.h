// The system's list of monitors, behind a small interface so that code which
// places windows can be tested with a list of its own. This header needs no
// <windows.h>; only TSystemMonitors' implementation talks to the system.
#pragma once

#include "host/Geometry.h"

#include <vector>

namespace saver::win {

struct TMonitor {
    // The whole monitor, in virtual-screen coordinates.
    TRect Bounds;
    // The part of it not covered by the taskbar and docked application bars.
    TRect WorkArea;
    bool Primary = false;

    friend bool operator==(const TMonitor&, const TMonitor&) = default;
};

class IMonitorList {
public:
    virtual ~IMonitorList() = default;
    // Every monitor, in the system's order.
    virtual std::vector<TMonitor> Monitors() const = 0;
};

// The monitors as EnumDisplayMonitors and GetMonitorInfo report them at the
// moment of the call. A monitor whose details cannot be read is left out.
class TSystemMonitors final : public IMonitorList {
public:
    std::vector<TMonitor> Monitors() const override;
};

} // namespace saver::win
