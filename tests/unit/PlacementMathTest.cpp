// The placement arithmetic: the clamp to the smallest work area of a list of
// monitors, and the centred bounds with offsets truncated toward zero.
#include "host/PlacementMath.h"

#include "unit/RectPrinting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace saver {
namespace {

constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();

struct TClampCase {
    const char* name;
    std::vector<TRect> workAreas;
    std::int32_t width;
    std::int32_t height;
    std::int32_t horizontalMargin;
    std::int32_t verticalMargin;
    std::int32_t expectedWidth;
    std::int32_t expectedHeight;
};

class ClampToSmallestWorkAreaTest : public testing::TestWithParam<TClampCase> {};

TEST_P(ClampToSmallestWorkAreaTest, LowersToSmallestAreaLessMargins)
{
    const TClampCase& c = GetParam();
    std::int32_t width = c.width;
    std::int32_t height = c.height;
    ClampToSmallestWorkArea(width, height, c.horizontalMargin, c.verticalMargin, c.workAreas);
    EXPECT_EQ(width, c.expectedWidth);
    EXPECT_EQ(height, c.expectedHeight);
}

// A 1280 × 1024 monitor whose taskbar takes the bottom 30 pixels.
const TRect OneMonitorWork{0, 0, 1280, 994};
// Side by side: a large one and a small one to its right.
const TRect LargeWork{0, 0, 1920, 1050};
const TRect SmallWork{1920, 0, 2944, 738};
// One narrow but tall, one wide but short: each gives one of the minima.
const TRect NarrowTallWork{0, 0, 1024, 1200};
const TRect WideShortWork{1024, 0, 3024, 700};

INSTANTIATE_TEST_SUITE_P(
    Cases, ClampToSmallestWorkAreaTest,
    testing::Values(
        TClampCase{"OneMonitor", {OneMonitorWork}, 2000, 2000, 0, 0, 1280, 994},
        TClampCase{"OneMonitorLessMargins", {OneMonitorWork}, 2000, 2000, 16, 80, 1264, 914},
        TClampCase{"WithinLimitUnchanged", {OneMonitorWork}, 640, 480, 16, 80, 640, 480},
        TClampCase{"ExactlyAtLimitUnchanged", {OneMonitorWork}, 1264, 914, 16, 80, 1264, 914},
        TClampCase{"OnePastLimit", {OneMonitorWork}, 1265, 915, 16, 80, 1264, 914},
        // Each dimension on its own: only the one that is too large moves.
        TClampCase{"OnlyWidthTooLarge", {OneMonitorWork}, 3000, 100, 0, 0, 1280, 100},
        TClampCase{"OnlyHeightTooLarge", {OneMonitorWork}, 100, 3000, 0, 0, 100, 994},
        TClampCase{"LargeThenSmall", {LargeWork, SmallWork}, 5000, 5000, 0, 0, 1024, 738},
        TClampCase{"SmallThenLarge", {SmallWork, LargeWork}, 5000, 5000, 0, 0, 1024, 738},
        TClampCase{"SmallMonitorLessMargins", {LargeWork, SmallWork}, 5000, 5000, 10, 20, 1014, 718},
        TClampCase{"MinimaFromDifferentMonitors", {NarrowTallWork, WideShortWork}, 5000, 5000, 0, 0, 1024, 700},
        TClampCase{"MinimaFromDifferentMonitorsReversed", {WideShortWork, NarrowTallWork}, 5000, 5000, 0, 0, 1024,
                   700},
        // The limit comes from the small monitor but is never used to enlarge.
        TClampCase{"NeverRaised", {LargeWork, SmallWork}, 300, 200, 10, 20, 300, 200},
        // Only the sizes of the areas count, not where they lie.
        TClampCase{"NegativeOrigin", {{-1280, -200, 0, 824}, LargeWork}, 5000, 5000, 0, 0, 1280, 1024},
        TClampCase{"ThreeMonitors", {LargeWork, {-800, 0, 0, 600}, SmallWork}, 5000, 5000, 0, 0, 800, 600},
        // Margins wider than the area leave a negative limit, applied as it stands.
        TClampCase{"MarginsBeyondArea", {{0, 0, 50, 40}}, 100, 100, 60, 50, -10, -10},
        // Without any monitor nothing is known about the screen.
        TClampCase{"NoMonitorsUnchanged", {}, Int32Max, 5000, 100, 100, Int32Max, 5000},
        // 64-bit intermediates: a huge area does not wrap into a small one,
        // and a limit below the 32-bit range saturates instead of wrapping.
        TClampCase{"HugeAreaDoesNotWrap", {{Int32Min, Int32Min, Int32Max, Int32Max}}, Int32Max, Int32Max, 0, 0,
                   Int32Max, Int32Max},
        TClampCase{"LimitSaturates", {{0, 0, Int32Min, Int32Min}}, 0, 0, Int32Max, Int32Max, Int32Min, Int32Min}),
    [](const testing::TestParamInfo<TClampCase>& info) { return std::string(info.param.name); });

struct TCentreCase {
    const char* name;
    TRect area;
    std::int32_t width;
    std::int32_t height;
    TRect expected;
};

class CenteredBoundsTest : public testing::TestWithParam<TCentreCase> {};

TEST_P(CenteredBoundsTest, OffsetsAreHalfTheSlackTruncatedTowardZero)
{
    const TCentreCase& c = GetParam();
    TRect bounds = CenteredBounds(c.area, c.width, c.height);
    EXPECT_EQ(bounds, c.expected);
    EXPECT_EQ(bounds.Width(), c.width);
    EXPECT_EQ(bounds.Height(), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CenteredBoundsTest,
    testing::Values(
        // 401 pixels of slack: 200 before the box, 201 after it.
        TCentreCase{"OddSlackHorizontal", {0, 0, 801, 400}, 400, 400, {200, 0, 600, 400}},
        TCentreCase{"OddSlackVertical", {0, 0, 400, 801}, 400, 400, {0, 200, 400, 600}},
        TCentreCase{"EvenSlack", {0, 0, 800, 600}, 400, 300, {200, 150, 600, 450}},
        TCentreCase{"SameSize", {0, 0, 640, 480}, 640, 480, {0, 0, 640, 480}},
        // -1 / 2 is 0 and -3 / 2 is -1: toward zero, not toward minus infinity.
        TCentreCase{"OnePixelWider", {0, 0, 801, 400}, 802, 400, {0, 0, 802, 400}},
        TCentreCase{"ThreePixelsWider", {0, 0, 801, 400}, 804, 400, {-1, 0, 803, 400}},
        TCentreCase{"OnePixelTaller", {0, 0, 400, 801}, 400, 802, {0, 0, 400, 802}},
        TCentreCase{"ThreePixelsTaller", {0, 0, 400, 801}, 400, 804, {0, -1, 400, 803}},
        TCentreCase{"MuchLargerSticksOutBothSides", {0, 0, 800, 600}, 1000, 1000, {-100, -200, 900, 800}},
        TCentreCase{"AreaNotAtOrigin", {100, 50, 901, 651}, 400, 300, {300, 200, 700, 500}},
        TCentreCase{"AreaNotAtOriginWiderBox", {100, 50, 901, 651}, 804, 604, {99, 49, 903, 653}},
        TCentreCase{"NegativeCoordinates", {-1280, -200, 0, 824}, 640, 480, {-960, 72, -320, 552}},
        TCentreCase{"NegativeCoordinatesWiderBox", {-1280, -200, 0, 824}, 1283, 1027, {-1281, -201, 2, 826}},
        TCentreCase{"EmptyBox", {10, 20, 110, 220}, 0, 0, {60, 120, 60, 120}}),
    [](const testing::TestParamInfo<TCentreCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace saver
