// The FlashVars text: extra variables first, one "&", then the run mode.
#include "player/FlashVars.h"

#include <gtest/gtest.h>

#include <string>

namespace saver {
namespace {

struct TFlashVarsCase {
    const char* name;
    TScreenSaverMode mode;
    std::string extra;
    std::string expected;
};

class FlashVarsTextTest : public testing::TestWithParam<TFlashVarsCase> {};

TEST_P(FlashVarsTextTest, ExtraThenMode)
{
    EXPECT_EQ(FlashVarsText(GetParam().extra, GetParam().mode), GetParam().expected);
}

constexpr auto FullScreen = TScreenSaverMode::smFullScreen;
constexpr auto Preview = TScreenSaverMode::smPreview;

INSTANTIATE_TEST_SUITE_P(
    Cases, FlashVarsTextTest,
    testing::Values(TFlashVarsCase{"FullScreenNoExtra", FullScreen, "", "glimmomode=normal"},
                    TFlashVarsCase{"FullScreenTwoExtra", FullScreen, "a=1&b=2", "a=1&b=2&glimmomode=normal"},
                    TFlashVarsCase{"FullScreenOneExtra", FullScreen, "a=1", "a=1&glimmomode=normal"},
                    TFlashVarsCase{"PreviewNoExtra", Preview, "", "glimmomode=preview"},
                    TFlashVarsCase{"PreviewExtra", Preview, "x=5", "x=5&glimmomode=preview"},
                    TFlashVarsCase{"ExtraEndingInAmpersand", FullScreen, "a=1&", "a=1&glimmomode=normal"},
                    TFlashVarsCase{"ExtraOnlyAmpersand", Preview, "&", "&glimmomode=preview"},
                    // Only one trailing "&" is absorbed; the rest is the builder's text.
                    TFlashVarsCase{"ExtraEndingInTwoAmpersands", FullScreen, "a=1&&", "a=1&&glimmomode=normal"},
                    // The movie's own glimmomode is not removed: the saver's comes last.
                    TFlashVarsCase{"ExtraNamesModeToo", FullScreen, "glimmomode=x",
                                   "glimmomode=x&glimmomode=normal"},
                    TFlashVarsCase{"ExtraWithSpaceKept", Preview, " a=1 ", " a=1 &glimmomode=preview"},
                    TFlashVarsCase{"ConfigureEmptyMode", TScreenSaverMode::smConfigure, "", "glimmomode="},
                    TFlashVarsCase{"ConfigureWithExtra", TScreenSaverMode::smConfigure, "a=1", "a=1&glimmomode="},
                    TFlashVarsCase{"ChangePassword", TScreenSaverMode::smChangePassword, "", "glimmomode="},
                    TFlashVarsCase{"NoMode", TScreenSaverMode::smNone, "", "glimmomode="}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace saver
