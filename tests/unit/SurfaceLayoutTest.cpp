// The surfaces a run mode and layout value ask for and their bounds on the
// form, over monitor arrangements that put the desktop origin off (0, 0).
#include "player/SurfaceLayout.h"

#include "unit/RectPrinting.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace saver {

inline void PrintTo(const TSurfacePlacement& s, std::ostream* out)
{
    *out << (s.FillsClient ? "client " : "monitor ") << s.MonitorIndex << " ";
    PrintTo(s.Bounds, out);
}

namespace {

constexpr auto FullScreen = TScreenSaverMode::smFullScreen;

// Monitor 0 left of the primary, at negative x; monitor 1 the primary.
const std::vector<TRect> LeftOfPrimary{{-1280, 0, 0, 1024}, {0, 0, 1920, 1080}};
// Three monitors in a row, the primary in the middle of the list.
const std::vector<TRect> ThreeInARow{{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}, {-1024, 0, 0, 768}};
// Monitor 1 above the primary, at negative y, and shifted left.
const std::vector<TRect> AbovePrimary{{0, 0, 1920, 1080}, {-200, -900, 1400, 0}};

TSurfacePlacement Client(TRect bounds) { return {true, bounds, -1}; }
TSurfacePlacement OnMonitor(int32_t index, TRect bounds) { return {false, bounds, index}; }

struct TLayoutCase {
    const char* name;
    TScreenSaverMode mode;
    uint8_t layout;
    std::vector<TRect> monitors;
    TScreenPoint origin;
    std::vector<TSurfacePlacement> surfaces;
};

class LayoutSurfacesTest : public testing::TestWithParam<TLayoutCase> {};

TEST_P(LayoutSurfacesTest, SurfacesAndBounds)
{
    const TLayoutCase& c = GetParam();
    TSurfaceLayout layout = LayoutSurfaces(c.mode, c.layout, c.monitors);
    EXPECT_EQ(layout.DesktopOrigin.X, c.origin.X);
    EXPECT_EQ(layout.DesktopOrigin.Y, c.origin.Y);
    EXPECT_EQ(layout.Surfaces, c.surfaces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LayoutSurfacesTest,
    testing::Values(
        TLayoutCase{"EveryMonitorLeftOfPrimary", FullScreen, 2, LeftOfPrimary, {-1280, 0},
                    {OnMonitor(0, {0, 0, 1280, 1024}), OnMonitor(1, {1280, 0, 3200, 1080})}},
        TLayoutCase{"FirstMonitorLeftOfPrimary", FullScreen, 1, LeftOfPrimary, {-1280, 0},
                    {OnMonitor(0, {0, 0, 1280, 1024})}},
        TLayoutCase{"WholeDesktopLeftOfPrimary", FullScreen, 0, LeftOfPrimary, {-1280, 0},
                    {Client({0, 0, 3200, 1080})}},
        TLayoutCase{"FirstMonitorOfThree", FullScreen, 1, ThreeInARow, {-1024, 0},
                    {OnMonitor(0, {1024, 0, 2944, 1080})}},
        TLayoutCase{"EveryMonitorOfThreeInListOrder", FullScreen, 2, ThreeInARow, {-1024, 0},
                    {OnMonitor(0, {1024, 0, 2944, 1080}), OnMonitor(1, {2944, 0, 4224, 1024}),
                     OnMonitor(2, {0, 0, 1024, 768})}},
        TLayoutCase{"EveryMonitorAbovePrimary", FullScreen, 2, AbovePrimary, {-200, -900},
                    {OnMonitor(0, {200, 900, 2120, 1980}), OnMonitor(1, {0, 0, 1600, 900})}},
        TLayoutCase{"WholeDesktopAbovePrimary", FullScreen, 0, AbovePrimary, {-200, -900},
                    {Client({0, 0, 2120, 1980})}},
        TLayoutCase{"OneMonitorEveryMonitor", FullScreen, 2, {{0, 0, 1024, 768}}, {0, 0},
                    {OnMonitor(0, {0, 0, 1024, 768})}},
        // Other values: the origin is still taken, but no surface is made.
        TLayoutCase{"LayoutThree", FullScreen, 3, LeftOfPrimary, {-1280, 0}, {}},
        TLayoutCase{"Layout255", FullScreen, 255, LeftOfPrimary, {-1280, 0}, {}},
        TLayoutCase{"PreviewIgnoresLayout", TScreenSaverMode::smPreview, 2, LeftOfPrimary, {0, 0},
                    {Client({})}},
        TLayoutCase{"PreviewNoMonitors", TScreenSaverMode::smPreview, 0, {}, {0, 0}, {Client({})}},
        TLayoutCase{"ConfigureNone", TScreenSaverMode::smConfigure, 0, LeftOfPrimary, {0, 0}, {}},
        TLayoutCase{"ChangePasswordNone", TScreenSaverMode::smChangePassword, 2, LeftOfPrimary, {0, 0}, {}},
        TLayoutCase{"NoModeNone", TScreenSaverMode::smNone, 0, LeftOfPrimary, {0, 0}, {}},
        // No monitor reported: nothing to place a monitor surface on; the
        // client surface still follows the form.
        TLayoutCase{"NoMonitorsWholeDesktop", FullScreen, 0, {}, {0, 0}, {Client({})}},
        TLayoutCase{"NoMonitorsFirstMonitor", FullScreen, 1, {}, {0, 0}, {}},
        TLayoutCase{"NoMonitorsEveryMonitor", FullScreen, 2, {}, {0, 0}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SurfaceLayout, DesktopBoundsSpansAllMonitors)
{
    // The extremes come from different monitors: left and bottom from one,
    // top and right from the others.
    const std::vector<TRect> monitors{{-1024, 200, 0, 1200}, {0, -300, 800, 300}, {800, 0, 2000, 900}};
    EXPECT_EQ(DesktopBounds(monitors), (TRect{-1024, -300, 2000, 1200}));
    EXPECT_EQ(DesktopBounds({}), TRect{});
}

TEST(SurfaceLayout, MonitorBoundsKeepSizeAfterShift)
{
    TRect bounds = MonitorSurfaceBounds({-1280, -100, 0, 924}, {-1280, -100});
    EXPECT_EQ(bounds, (TRect{0, 0, 1280, 1024}));
    EXPECT_EQ(bounds.Width(), 1280);
    EXPECT_EQ(bounds.Height(), 1024);
}

} // namespace
} // namespace saver
