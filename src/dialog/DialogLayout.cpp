// The dialog layout: clamp, proportional scaling and the centred stack, in
// 64-bit intermediates so that no measured size can overflow.
#include "dialog/DialogLayout.h"

#include "host/PlacementMath.h"

#include <algorithm>
#include <limits>

namespace saver {

namespace {

constexpr std::int32_t ControlGap = 4;
constexpr std::int32_t SideMargins = 16;

std::int32_t NotNegative(std::int32_t value) { return std::max(value, std::int32_t{0}); }

std::int32_t Narrowed(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// The other side of a picture whose bound side takes boundSide pixels:
// rounded down, at least 1 pixel as long as its own limit has room for one.
std::int32_t ProportionalSide(std::int64_t boundSide, std::int64_t ownSide, std::int64_t boundOwnSide,
                              std::int32_t limit)
{
    std::int64_t side = boundSide * ownSide / boundOwnSide;
    if (side < 1 && limit >= 1)
        side = 1;
    return Narrowed(std::min<std::int64_t>(side, limit));
}

struct TSize {
    std::int32_t Width;
    std::int32_t Height;
};

TSize ScaledPicture(std::int32_t ownWidth, std::int32_t ownHeight, std::int32_t limitWidth,
                    std::int32_t limitHeight)
{
    if (ownWidth == 0 || ownHeight == 0)
        return {NotNegative(limitWidth), NotNegative(limitHeight)};
    if (limitWidth <= 0 || limitHeight <= 0)
        return {0, 0};
    // Compare limitWidth / ownWidth with limitHeight / ownHeight without
    // division: the smaller ratio is the factor that fits both limits.
    if (std::int64_t{limitWidth} * ownHeight <= std::int64_t{limitHeight} * ownWidth)
        return {limitWidth, ProportionalSide(limitWidth, ownHeight, ownWidth, limitHeight)};
    return {ProportionalSide(limitHeight, ownWidth, ownHeight, limitWidth), limitHeight};
}

TRect Placed(std::int32_t clientWidth, std::int32_t top, std::int32_t width, std::int32_t height)
{
    // Integer division truncates toward zero, the rounding wanted here.
    std::int32_t left = Narrowed((std::int64_t{clientWidth} - width) / 2);
    return TRect{left, top, Narrowed(std::int64_t{left} + width), Narrowed(std::int64_t{top} + height)};
}

} // namespace

TDialogLayout LayoutDialog(const TDialogLayoutInput& input)
{
    const std::int32_t ownWidth = NotNegative(input.PictureWidth);
    const std::int32_t ownHeight = NotNegative(input.PictureHeight);
    const TLayoutControl label{NotNegative(input.Label.Width), NotNegative(input.Label.Height), input.Label.Visible};
    const TLayoutControl button{NotNegative(input.Button.Width), NotNegative(input.Button.Height),
                                input.Button.Visible};

    std::int64_t reservedHeight = input.NonClientHeight;
    for (const TLayoutControl* control : {&label, &button})
        if (control->Visible)
            reservedHeight += std::int64_t{control->Height} + ControlGap;

    std::int32_t width = ownWidth;
    std::int32_t height = ownHeight;
    ClampToSmallestWorkArea(width, height, input.NonClientWidth, Narrowed(reservedHeight), input.WorkAreas);

    TDialogLayout layout;
    if (width != ownWidth || height != ownHeight) {
        TSize scaled = ScaledPicture(ownWidth, ownHeight, width, height);
        width = scaled.Width;
        height = scaled.Height;
        layout.Stretched = true;
    }

    std::int64_t clientWidth = width;
    for (const TLayoutControl* control : {&label, &button})
        if (control->Visible)
            clientWidth = std::max(clientWidth, std::int64_t{control->Width} + SideMargins);
    layout.ClientWidth = Narrowed(clientWidth);

    layout.Image = Placed(layout.ClientWidth, 0, width, height);
    std::int32_t bottom = layout.Image.Bottom;
    if (label.Visible) {
        layout.Label = Placed(layout.ClientWidth, Narrowed(std::int64_t{bottom} + ControlGap), label.Width,
                              label.Height);
        bottom = layout.Label.Bottom;
    }
    if (button.Visible) {
        layout.Button = Placed(layout.ClientWidth, Narrowed(std::int64_t{bottom} + ControlGap), button.Width,
                               button.Height);
        bottom = Narrowed(std::int64_t{layout.Button.Bottom} + ControlGap);
    }
    layout.ClientHeight = bottom;
    return layout;
}

} // namespace saver
