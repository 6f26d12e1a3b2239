// The hyperlink label's look: event sequences with and without a link target,
// checked step by step, and the one click a press and release inside makes.
#include "dialog/WebLabelState.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace saver {

void PrintTo(const TWebLabelLook& look, std::ostream* out)
{
    static const char* const colors[] = {"Normal", "Over", "Clicking"};
    *out << "{" << colors[static_cast<int>(look.Color)] << (look.Underline ? ", underlined" : ", plain")
         << (look.Cursor == TWebLabelCursor::HandPoint ? ", hand" : ", default") << "}";
}

namespace {

enum class TEvent { Enter, Leave, Down, MoveIn, MoveOut, UpInside, UpOutside, CaptureLost };

constexpr TWebLabelLook Rest{};
constexpr TWebLabelLook Hover{TWebLabelColorRole::Over, true, TWebLabelCursor::HandPoint};
constexpr TWebLabelLook Pressed{TWebLabelColorRole::Clicking, true, TWebLabelCursor::HandPoint};
// Released over the label: the colour is back, underline and hand stay.
constexpr TWebLabelLook Released{TWebLabelColorRole::Normal, true, TWebLabelCursor::HandPoint};

struct TStep {
    TEvent event;
    TWebLabelLook look;
    bool click = false;
};

struct TSequenceCase {
    const char* name;
    bool hasTarget;
    std::vector<TStep> steps;
};

class WebLabelStateTest : public testing::TestWithParam<TSequenceCase> {};

TEST_P(WebLabelStateTest, LookAndClickAfterEachEvent)
{
    const TSequenceCase& c = GetParam();
    TWebLabelState state;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        const TStep& step = c.steps[i];
        bool click = false;
        switch (step.event) {
        case TEvent::Enter:
            state.MouseEnter(c.hasTarget);
            break;
        case TEvent::Leave:
            state.MouseLeave();
            break;
        case TEvent::Down:
            state.ButtonDown(c.hasTarget);
            break;
        case TEvent::MoveIn:
            state.MouseMove(true, c.hasTarget);
            break;
        case TEvent::MoveOut:
            state.MouseMove(false, c.hasTarget);
            break;
        case TEvent::UpInside:
            click = state.ButtonUp(true, c.hasTarget);
            break;
        case TEvent::UpOutside:
            click = state.ButtonUp(false, c.hasTarget);
            break;
        case TEvent::CaptureLost:
            state.CaptureLost();
            break;
        }
        EXPECT_EQ(state.Look(), step.look);
        EXPECT_EQ(click, step.click);
    }
}

using enum TEvent;

INSTANTIATE_TEST_SUITE_P(
    Sequences, WebLabelStateTest,
    testing::Values(
        TSequenceCase{"HoverWithTarget", true, {{Enter, Hover}, {Leave, Rest}}},
        TSequenceCase{"HoverWithoutTarget", false, {{Enter, Rest}, {MoveIn, Rest}, {Leave, Rest}}},
        TSequenceCase{"ReleaseInsideClicks", true,
                      {{Enter, Hover}, {Down, Pressed}, {MoveIn, Pressed}, {UpInside, Released, true}, {Leave, Rest}}},
        TSequenceCase{"ReleaseInsideWithoutTargetDoesNotClick", false,
                      {{Enter, Rest}, {Down, Rest}, {UpInside, Rest, false}}},
        // Held while moving out and back in: the pressed look returns.
        TSequenceCase{"OutAndBackInWhileHeld", true,
                      {{Enter, Hover},
                       {Down, Pressed},
                       {MoveOut, Rest},
                       {MoveIn, Pressed},
                       {UpInside, Released, true}}},
        TSequenceCase{"ReleaseOutsideDoesNotClick", true,
                      {{Enter, Hover}, {Down, Pressed}, {MoveOut, Rest}, {UpOutside, Rest, false}, {MoveIn, Hover}}},
        // The release outside arrives without a move before it.
        TSequenceCase{"ReleaseOutsideWithoutMove", true, {{Enter, Hover}, {Down, Pressed}, {UpOutside, Rest, false}}},
        // A release without a press on the label (pressed elsewhere) is no click.
        TSequenceCase{"ReleaseWithoutPress", true, {{Enter, Hover}, {UpInside, Released, false}}},
        // A second release after the click makes no second click.
        TSequenceCase{"OneClickPerPress", true,
                      {{Enter, Hover}, {Down, Pressed}, {UpInside, Released, true}, {UpInside, Released, false}}},
        // A press that arrives before any move still shows the link as pressed.
        TSequenceCase{"PressWithoutEnter", true, {{Down, Pressed}, {UpInside, Released, true}}},
        TSequenceCase{"CaptureLostEndsPress", true,
                      {{Enter, Hover}, {Down, Pressed}, {CaptureLost, Released}, {UpInside, Released, false}}}),
    [](const testing::TestParamInfo<TSequenceCase>& info) { return std::string(info.param.name); });

TEST(WebLabelColorsTest, RolesMapToTheLabelsColours)
{
    TWebLabelColors defaults;
    EXPECT_EQ(ColorOf(TWebLabelColorRole::Normal, defaults), 0x000000u);
    EXPECT_EQ(ColorOf(TWebLabelColorRole::Over, defaults), 0xFF0000u);
    EXPECT_EQ(ColorOf(TWebLabelColorRole::Clicking, defaults), 0x0000FFu);

    TWebLabelColors custom{0x112233, 0x445566, 0x778899};
    EXPECT_EQ(ColorOf(TWebLabelColorRole::Normal, custom), 0x112233u);
    EXPECT_EQ(ColorOf(TWebLabelColorRole::Over, custom), 0x445566u);
    EXPECT_EQ(ColorOf(TWebLabelColorRole::Clicking, custom), 0x778899u);
}

} // namespace
} // namespace saver
