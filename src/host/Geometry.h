// TRect: a rectangle in screen pixels, the shape in which the window layer and
// the layout arithmetic exchange bounds and monitor areas. Portable, so the
// arithmetic built on it is tested without Windows.
#pragma once

#include <cstdint>

namespace saver {

struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    // Computed wide and narrowed back, so absurd rectangles wrap the way the
    // platform's 32-bit arithmetic does instead of overflowing.
    constexpr std::int32_t Width() const { return static_cast<std::int32_t>(std::int64_t{Right} - Left); }
    constexpr std::int32_t Height() const { return static_cast<std::int32_t>(std::int64_t{Bottom} - Top); }

    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

} // namespace saver
