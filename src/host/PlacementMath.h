// The arithmetic of window placement, apart from any window: limiting a size
// to the smallest of a list of monitor work areas, and the bounds that centre
// a size in a rectangle. The Win32 helpers in FormUtils feed these with the
// system's monitors and a form's bounds.
#pragma once

#include "host/Geometry.h"

#include <cstdint>
#include <span>

namespace saver {

// Lowers width and height, each on its own, to the smallest work-area width
// and the smallest work-area height of the list, less the margins; the two
// minima may come from different monitors. A value is never raised. Margins
// larger than an area give a negative limit, which is applied as it stands.
// An empty list says nothing about the screen and leaves both values as they
// are.
void ClampToSmallestWorkArea(std::int32_t& width, std::int32_t& height, std::int32_t horizontalMargin,
                             std::int32_t verticalMargin, std::span<const TRect> workAreas);

// The bounds of a width × height box centred in area: each offset is half the
// difference of the sizes, truncated toward zero, so a box larger than the
// area sticks out on both sides and an odd pixel of slack goes after the box.
TRect CenteredBounds(const TRect& area, std::int32_t width, std::int32_t height);

} // namespace saver
