// Clamping to the smallest work area and centring, in 64-bit intermediates so
// that no input can overflow. A clamp limit beyond 32 bits saturates; centred
// bounds beyond 32 bits wrap, as TRect's own width does.
#include "host/PlacementMath.h"

#include <algorithm>
#include <limits>

namespace saver {

namespace {

constexpr std::int64_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t Int32Min = std::numeric_limits<std::int32_t>::min();

std::int32_t Saturated(std::int64_t value) { return static_cast<std::int32_t>(std::clamp(value, Int32Min, Int32Max)); }

void LowerTo(std::int32_t& value, std::int64_t limit)
{
    if (value > limit)
        value = Saturated(limit);
}

} // namespace

void ClampToSmallestWorkArea(std::int32_t& width, std::int32_t& height, std::int32_t horizontalMargin,
                             std::int32_t verticalMargin, std::span<const TRect> workAreas)
{
    if (workAreas.empty())
        return;
    std::int64_t smallestWidth = Int32Max;
    std::int64_t smallestHeight = Int32Max;
    for (const TRect& area : workAreas) {
        smallestWidth = std::min(smallestWidth, std::int64_t{area.Right} - area.Left);
        smallestHeight = std::min(smallestHeight, std::int64_t{area.Bottom} - area.Top);
    }
    LowerTo(width, smallestWidth - horizontalMargin);
    LowerTo(height, smallestHeight - verticalMargin);
}

TRect CenteredBounds(const TRect& area, std::int32_t width, std::int32_t height)
{
    // C++ integer division truncates toward zero, which is the rounding wanted.
    std::int64_t left = area.Left + (std::int64_t{area.Right} - area.Left - width) / 2;
    std::int64_t top = area.Top + (std::int64_t{area.Bottom} - area.Top - height) / 2;
    return TRect{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                 static_cast<std::int32_t>(left + width), static_cast<std::int32_t>(top + height)};
}

} // namespace saver
