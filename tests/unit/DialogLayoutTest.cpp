// The configuration dialog's layout: the centred stack of picture, label and
// button, the room each visible control takes, and the proportional scaling
// of a picture too large for the smallest monitor.
#include "dialog/DialogLayout.h"

#include "unit/RectPrinting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace saver {
namespace {

// A dialog frame: 3 pixels of border on each side, a 19-pixel caption.
constexpr std::int32_t FrameWidth = 6;
constexpr std::int32_t FrameHeight = 25;

// The large monitor and the small one beside it; the small one limits the
// picture to 1024 - 6 = 1018 wide and, with label and button visible,
// 738 - 25 - (12 + 4) - (20 + 4) = 673 high.
const std::vector<TRect> TwoMonitors{{0, 0, 1920, 1050}, {1920, 0, 2944, 738}};

const TLayoutControl Label150{150, 12, true};
const TLayoutControl Button100{100, 20, true};
const TLayoutControl Hidden{};

struct TLayoutCase {
    const char* name;
    std::int32_t pictureWidth;
    std::int32_t pictureHeight;
    TLayoutControl label;
    TLayoutControl button;
    std::vector<TRect> workAreas;
    std::int32_t clientWidth;
    std::int32_t clientHeight;
    TRect image;
    TRect labelBounds;
    TRect buttonBounds;
    bool stretched;
};

class DialogLayoutTest : public testing::TestWithParam<TLayoutCase> {};

TEST_P(DialogLayoutTest, StacksCentredControls)
{
    const TLayoutCase& c = GetParam();
    TDialogLayoutInput input{c.pictureWidth, c.pictureHeight, c.label, c.button, FrameWidth, FrameHeight,
                             c.workAreas};
    TDialogLayout layout = LayoutDialog(input);
    EXPECT_EQ(layout.ClientWidth, c.clientWidth);
    EXPECT_EQ(layout.ClientHeight, c.clientHeight);
    EXPECT_EQ(layout.Image, c.image);
    EXPECT_EQ(layout.Label, c.labelBounds);
    EXPECT_EQ(layout.Button, c.buttonBounds);
    EXPECT_EQ(layout.Stretched, c.stretched);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DialogLayoutTest,
    testing::Values(
        // The label sets the width: 150 + 16; everything centred in it.
        TLayoutCase{"LabelSetsWidth", 100, 80, Label150, Button100, TwoMonitors, 166, 124, {33, 0, 133, 80},
                    {8, 84, 158, 96}, {33, 100, 133, 120}, false},
        // No copyright text: no room for the label, the button 4 under the picture.
        TLayoutCase{"NoCopyright", 100, 80, Hidden, Button100, TwoMonitors, 116, 108, {8, 0, 108, 80}, {},
                    {8, 84, 108, 104}, false},
        // No button: the client ends at the label's bottom, without the 4 extra.
        TLayoutCase{"HiddenButton", 100, 80, Label150, Hidden, TwoMonitors, 166, 96, {33, 0, 133, 80},
                    {8, 84, 158, 96}, {}, false},
        TLayoutCase{"PictureOnly", 100, 80, Hidden, Hidden, TwoMonitors, 100, 80, {0, 0, 100, 80}, {}, {}, false},
        // A picture wider than label and button sets the width; no side margins.
        TLayoutCase{"PictureSetsWidth", 300, 80, Label150, Button100, TwoMonitors, 300, 124, {0, 0, 300, 80},
                    {75, 84, 225, 96}, {100, 100, 200, 120}, false},
        // 65 pixels of slack: the odd one goes to the right.
        TLayoutCase{"OddSlackTruncated", 101, 80, Label150, Button100, TwoMonitors, 166, 124, {32, 0, 133, 80},
                    {8, 84, 158, 96}, {33, 100, 133, 120}, false},
        // Without a picture the image keeps its design size.
        TLayoutCase{"DesignSize", 105, 105, Hidden, Button100, TwoMonitors, 116, 133, {5, 0, 110, 105}, {},
                    {8, 109, 108, 129}, false},
        // Exactly at both limits still fits.
        TLayoutCase{"AtLimits", 1018, 673, Label150, Button100, TwoMonitors, 1018, 717, {0, 0, 1018, 673},
                    {434, 677, 584, 689}, {459, 693, 559, 713}, false},
        // 2 : 1 into 1018 × 673: the width binds, 1018 × 509.
        TLayoutCase{"TooLargeWidthBinds", 2000, 1000, Label150, Button100, TwoMonitors, 1018, 553,
                    {0, 0, 1018, 509}, {434, 513, 584, 525}, {459, 529, 559, 549}, true},
        // 1 : 2 into 1018 × 673: the height binds, 336.5 rounds down to 336.
        TLayoutCase{"TooLargeHeightBinds", 1000, 2000, Label150, Button100, TwoMonitors, 336, 717,
                    {0, 0, 336, 673}, {93, 677, 243, 689}, {118, 693, 218, 713}, true},
        // Only the width is too large, yet the height shrinks with it: 1018 × 407.
        TLayoutCase{"OnlyWidthTooLarge", 1500, 600, Label150, Button100, TwoMonitors, 1018, 451,
                    {0, 0, 1018, 407}, {434, 411, 584, 423}, {459, 427, 559, 447}, true},
        // Without label and button the height limit is 738 - 25 = 713.
        TLayoutCase{"OnlyHeightTooLargeNoControls", 600, 1426, Hidden, Hidden, TwoMonitors, 300, 713,
                    {0, 0, 300, 713}, {}, {}, true},
        // Extreme proportions keep at least one pixel of the short side.
        TLayoutCase{"VeryWide", 100000, 10, Label150, Button100, TwoMonitors, 1018, 45, {0, 0, 1018, 1},
                    {434, 5, 584, 17}, {459, 21, 559, 41}, true},
        TLayoutCase{"VeryTall", 10, 100000, Label150, Button100, TwoMonitors, 166, 717, {82, 0, 83, 673},
                    {8, 677, 158, 689}, {33, 693, 133, 713}, true},
        // A zero-size picture fits anywhere and is not stretched.
        TLayoutCase{"ZeroSize", 0, 0, Label150, Button100, TwoMonitors, 166, 44, {83, 0, 83, 0}, {8, 4, 158, 16},
                    {33, 20, 133, 40}, false},
        // A zero side has no proportions: the other side is only clamped.
        TLayoutCase{"ZeroWidthTooTall", 0, 5000, Label150, Button100, TwoMonitors, 166, 717, {83, 0, 83, 673},
                    {8, 677, 158, 689}, {33, 693, 133, 713}, true},
        // Margins larger than the area leave no room for the picture at all.
        TLayoutCase{"NoRoomAtAll", 100, 80, Label150, Button100, {{0, 0, 50, 40}}, 166, 44, {83, 0, 83, 0},
                    {8, 4, 158, 16}, {33, 20, 133, 40}, true},
        // No monitor known: nothing to clamp to.
        TLayoutCase{"NoMonitors", 5000, 4000, Hidden, Hidden, {}, 5000, 4000, {0, 0, 5000, 4000}, {}, {}, false}),
    [](const testing::TestParamInfo<TLayoutCase>& info) { return std::string(info.param.name); });

// Over many shapes: a scaled picture lies within both limits, one side takes
// its limit exactly, and the other keeps the picture's proportions to within
// the rounding down of one pixel.
TEST(DialogLayoutScalingTest, ScaledPictureFitsBothLimitsWithProportionsKept)
{
    constexpr std::int32_t LimitWidth = 1018;
    constexpr std::int32_t LimitHeight = 673;
    for (std::int32_t w0 : {1019, 1100, 1500, 2047, 3000, 4096, 10007}) {
        for (std::int32_t h0 : {674, 700, 1000, 1499, 2000, 3001, 7777}) {
            SCOPED_TRACE(testing::Message() << w0 << " x " << h0);
            TDialogLayoutInput input{w0, h0, Label150, Button100, FrameWidth, FrameHeight, TwoMonitors};
            TDialogLayout layout = LayoutDialog(input);
            std::int64_t w = layout.Image.Width();
            std::int64_t h = layout.Image.Height();
            ASSERT_TRUE(layout.Stretched);
            EXPECT_LE(w, LimitWidth);
            EXPECT_LE(h, LimitHeight);
            EXPECT_TRUE(w == LimitWidth || h == LimitHeight);
            // w / h against w0 / h0: a rounded-down side is short by less than one pixel.
            if (w == LimitWidth) {
                EXPECT_LE(h * w0, w * h0);
                EXPECT_GT((h + 1) * w0, w * h0);
            } else {
                EXPECT_LE(w * h0, h * w0);
                EXPECT_GT((w + 1) * h0, h * w0);
            }
        }
    }
}

} // namespace
} // namespace saver
