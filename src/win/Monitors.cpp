// TSystemMonitors: EnumDisplayMonitors walks the monitors in the system's
// order; GetMonitorInfo gives each one's rectangle and work area.
#include "win/Monitors.h"

#include <windows.h>

#include <exception>
#include <utility>

namespace saver::win {

namespace {

TRect FromWin32(const RECT& rect) { return TRect{rect.left, rect.top, rect.right, rect.bottom}; }

struct TEnumeration {
    std::vector<TMonitor> monitors;
    // No exception may unwind through the system's callback frame; it is
    // carried out and rethrown once EnumDisplayMonitors has returned.
    std::exception_ptr failure;
};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    auto& enumeration = *reinterpret_cast<TEnumeration*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info))
        return TRUE;
    try {
        enumeration.monitors.push_back(
            TMonitor{FromWin32(info.rcMonitor), FromWin32(info.rcWork), (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    } catch (...) {
        enumeration.failure = std::current_exception();
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::vector<TMonitor> TSystemMonitors::Monitors() const
{
    TEnumeration enumeration;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&enumeration));
    if (enumeration.failure)
        std::rethrow_exception(enumeration.failure);
    return std::move(enumeration.monitors);
}

} // namespace saver::win
