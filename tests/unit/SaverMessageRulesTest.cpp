// The saver window's message rules, driven through a recording fake of the
// window side: what ends the saver and what does not, the password refusal,
// the terminate sequence and its guards, the re-sent hook messages and the
// hooks' decisions.
#include "host/SaverMessageRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace saver {
namespace {

using enum TScreenSaverMode;

std::string Hex(std::uintmax_t value)
{
    std::ostringstream out;
    out << std::hex << value;
    return out.str();
}

std::string MessageName(std::uintptr_t id)
{
    switch (id) {
    case 0x200: return "move";
    case 0x201: return "lbuttondown";
    case 0x202: return "lbuttonup";
    case 0x203: return "lbuttondblclk";
    case 0x204: return "rbuttondown";
    case 0x205: return "rbuttonup";
    case 0x206: return "rbuttondblclk";
    case 0x207: return "mbuttondown";
    case 0x208: return "mbuttonup";
    case 0x209: return "mbuttondblclk";
    case 0x20A: return "wheel";
    case msg::KeyDown: return "keydown";
    case msg::KeyUp: return "keyup";
    case msg::EraseBackground: return "erase";
    case msg::Paint: return "paint";
    case msg::Close: return "close";
    default: return "msg" + Hex(id);
    }
}

std::uint16_t Low(std::intptr_t value) { return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(value)); }
std::uint16_t High(std::intptr_t value) { return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(value) >> 16); }

// A message as the logs show it: mouse messages with the position their
// lParam carries, the hook's mouse message with its signed screen position.
std::string Describe(const TSaverMessage& m)
{
    if (m.Msg >= msg::MouseMove && m.Msg <= msg::MouseWheel) {
        std::string text = MessageName(m.Msg) + "(" + std::to_string(Low(m.LParam)) + "," +
                           std::to_string(High(m.LParam)) + ")";
        return m.WParam == 0 ? text : text + " w=" + Hex(m.WParam);
    }
    switch (m.Msg) {
    case msg::KeyDown:
    case msg::KeyUp:
        return MessageName(m.Msg) + "(" + Hex(m.WParam) + "," + Hex(static_cast<std::uintptr_t>(m.LParam)) + ")";
    case WM_SAVERKEY:
        return "saverkey(" + Hex(m.WParam) + "," + Hex(static_cast<std::uintptr_t>(m.LParam)) + ")";
    case WM_SAVERMOUSE:
        return "savermouse(" + MessageName(m.WParam) + "@" + std::to_string(static_cast<std::int16_t>(Low(m.LParam))) +
               "," + std::to_string(static_cast<std::int16_t>(High(m.LParam))) + ")";
    case msg::SysCommand:
        return "syscommand(" + Hex(m.WParam) + ")";
    default:
        return MessageName(m.Msg);
    }
}

TSaverMessage Move(std::uint16_t x, std::uint16_t y)
{
    return {msg::MouseMove, 0, static_cast<std::intptr_t>(std::uint32_t{x} | std::uint32_t{y} << 16)};
}
TSaverMessage Mouse(unsigned id) { return {id, 0, 0}; }
TSaverMessage Key(unsigned id, std::uintptr_t key, std::intptr_t flags) { return {id, key, flags}; }
TSaverMessage SaverKey(std::uintptr_t key, std::intptr_t flags) { return {WM_SAVERKEY, key, flags}; }
TSaverMessage SaverMouse(unsigned id, std::int32_t screenX, std::int32_t screenY)
{
    return {WM_SAVERMOUSE, id, PackSaverMousePosition(screenX, screenY)};
}
TSaverMessage SysCommand(std::uintptr_t command) { return {msg::SysCommand, command, 0}; }
const TSaverMessage Erase{msg::EraseBackground, 0, 0};
const TSaverMessage Paint{msg::Paint, 0, 0};
const TSaverMessage Close{msg::Close, 0, 0};

constexpr unsigned LButtonDown = 0x201;
constexpr unsigned RButtonUp = 0x205;
constexpr unsigned MButtonDblClk = 0x209;
constexpr unsigned Wheel = 0x20A;

// The window side, recording every action as a token. SendToForm and
// ProcessMessages run the rules again, as SendMessage and the message loop
// do; tokens of a nested message stand in brackets.
class TFakeWindow : public ISaverActions {
public:
    TSaverMessageRules Rules{*this};

    std::deque<bool> PasswordAnswers;
    bool TickDraws = false;
    bool HasParentWindow = true;
    TScreenPoint ClientOrigin;
    std::intptr_t OldResult = 0;
    // Dispatched by ProcessMessages, in order.
    std::deque<TSaverMessage> Pending;
    // Runs after each token is recorded, before the action answers: throws
    // or re-enters the rules where a test needs it.
    std::function<void(const std::string& token)> OnAction;

    std::string Log;
    std::vector<TSaverMessage> Sent;
    int OnTerminateCount = 0;

    // One message from the message loop: its description, the tokens and
    // the result.
    std::string Dispatch(const TSaverMessage& message)
    {
        Log.clear();
        std::intptr_t result = Rules.SaverWndProc(message);
        return Describe(message) + ":" + Log + " =" + std::to_string(result);
    }

    std::intptr_t CallOldWindowProc(const TSaverMessage&) override
    {
        Record("pass");
        return OldResult;
    }
    void SendToForm(const TSaverMessage& message) override
    {
        Sent.push_back(message);
        Record("send " + Describe(message) + " [");
        Rules.SaverWndProc(message);
        Record("]");
    }
    TScreenPoint FormClientOrigin() override { return ClientOrigin; }
    bool VerifySaverPassword() override
    {
        if (PasswordAnswers.empty()) {
            ADD_FAILURE() << "password asked for without an answer prepared";
            return true;
        }
        bool answer = PasswordAnswers.front();
        PasswordAnswers.pop_front();
        Record(answer ? "verify:yes" : "verify:no");
        return answer;
    }
    void ApplyCursorVisibility(bool show) override { Record(show ? "cursor:show" : "cursor:hide"); }
    bool DoTick() override
    {
        Record(TickDraws ? "tick:drew" : "tick");
        return TickDraws;
    }
    void MoveFormOutOfSight() override { Record("outofsight"); }
    bool DetachFromParentWindow() override
    {
        Record(HasParentWindow ? "unparent:yes" : "unparent:no");
        return HasParentWindow;
    }
    void DisableRefreshTimer() override { Record("timeroff"); }
    void RaiseOnTerminate() override
    {
        ++OnTerminateCount;
        Record("onterminate");
    }
    void ProcessMessages() override
    {
        Record("process");
        while (!Pending.empty()) {
            TSaverMessage message = Pending.front();
            Pending.pop_front();
            // Appended piece by piece: "[" + text + ":" trips a false
            // -Wrestrict of GCC 12 at -O3.
            std::string opening = "[";
            opening += Describe(message);
            opening += ':';
            Record(opening);
            Rules.SaverWndProc(message);
            Record("]");
        }
    }
    void HideApplicationWindow() override { Record("hideapp"); }
    void CloseMainForm() override { Record("close"); }

private:
    void Record(const std::string& token)
    {
        Log += " " + token;
        if (OnAction)
            OnAction(token);
    }
};

// The tokens of the whole terminate sequence.
const std::string End = "timeroff onterminate process hideapp process close";

struct TRowSettings {
    TScreenSaverMode mode = smFullScreen;
    bool terminateOnMouseMove = true;
    bool terminateOnKeyDown = true;
    bool usePassword = false;
    bool showMouseCursor = false;
    bool tickDraws = false;
    bool hasParentWindow = true;
    TScreenPoint clientOrigin{};
};

struct TRulesCase {
    const char* name;
    TRowSettings settings{};
    // Answers of the password dialog, in the order it is asked.
    std::vector<bool> passwordAnswers{};
    std::vector<TSaverMessage> messages{};
    // One line per message: "description: tokens =result".
    std::vector<std::string> expected{};
    std::int32_t mouseMoveCount = 0;
    bool terminating = false;
    bool endPending = false;
};

class SaverMessageRulesTest : public testing::TestWithParam<TRulesCase> {};

TEST_P(SaverMessageRulesTest, SequenceGivesActionsPassOnAndResults)
{
    const TRulesCase& c = GetParam();
    TFakeWindow window;
    window.Rules.Settings = {c.settings.mode, c.settings.terminateOnMouseMove, c.settings.terminateOnKeyDown,
                             c.settings.usePassword};
    window.Rules.StoreShowMouseCursor(c.settings.showMouseCursor);
    window.TickDraws = c.settings.tickDraws;
    window.HasParentWindow = c.settings.hasParentWindow;
    window.ClientOrigin = c.settings.clientOrigin;
    window.PasswordAnswers.assign(c.passwordAnswers.begin(), c.passwordAnswers.end());

    std::vector<std::string> lines;
    for (const TSaverMessage& message : c.messages)
        lines.push_back(window.Dispatch(message));

    EXPECT_EQ(lines, c.expected);
    EXPECT_TRUE(window.PasswordAnswers.empty()) << "answers left that were never asked for";
    EXPECT_EQ(window.Rules.MouseMoveCount(), c.mouseMoveCount);
    EXPECT_EQ(window.Rules.Terminating(), c.terminating);
    EXPECT_EQ(window.Rules.EndPending(), c.endPending);
    EXPECT_LE(window.OnTerminateCount, 1);
}

const std::string Ends = " " + End + " pass =0";

INSTANTIATE_TEST_SUITE_P(
    Rules, SaverMessageRulesTest,
    testing::Values(
        // Three new positions count; the fourth move, even at the last
        // position, asks to end.
        TRulesCase{.name = "ThreeNewPositionsThenAnyMoveEnds",
                   .messages = {Move(5, 5), Move(6, 5), Move(6, 6), Move(6, 6)},
                   .expected = {"move(5,5): pass =0", "move(6,5): pass =0", "move(6,6): pass =0",
                                "move(6,6):" + Ends},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        // The first move is compared with (0, 0).
        TRulesCase{.name = "FirstMoveAtOriginDoesNotCount",
                   .messages = {Move(0, 0), Move(1, 1), Move(2, 2), Move(3, 3), Move(3, 3)},
                   .expected = {"move(0,0): pass =0", "move(1,1): pass =0", "move(2,2): pass =0",
                                "move(3,3): pass =0", "move(3,3):" + Ends},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "RepeatedPositionsDoNotCount",
                   .messages = {Move(5, 5), Move(5, 5), Move(7, 7), Move(7, 7), Move(9, 9), Move(9, 9)},
                   .expected = {"move(5,5): pass =0", "move(5,5): pass =0", "move(7,7): pass =0",
                                "move(7,7): pass =0", "move(9,9): pass =0", "move(9,9):" + Ends},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        // Positions are compared as unsigned 16-bit values: 65535 is not -1
        // wrapped into something equal to the last position.
        TRulesCase{.name = "PositionsReadAsUnsignedWords",
                   .messages = {Move(65535, 0), Move(65535, 65535), Move(0, 65535), Move(0, 65535)},
                   .expected = {"move(65535,0): pass =0", "move(65535,65535): pass =0", "move(0,65535): pass =0",
                                "move(0,65535):" + Ends},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "ClickEndsAtOnce",
                   .messages = {Mouse(LButtonDown)},
                   .expected = {"lbuttondown(0,0):" + Ends},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "ButtonReleaseAloneEnds",
                   .messages = {Mouse(RButtonUp)},
                   .expected = {"rbuttonup(0,0):" + Ends},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "DoubleClickEnds",
                   .messages = {Mouse(MButtonDblClk)},
                   .expected = {"mbuttondblclk(0,0):" + Ends},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "WheelEnds",
                   .messages = {Mouse(Wheel)},
                   .expected = {"wheel(0,0):" + Ends},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "KeyDownEnds",
                   .messages = {Key(msg::KeyDown, 0x41, 0x1e0001)},
                   .expected = {"keydown(41,1e0001):" + Ends},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "KeyReleaseAloneEnds",
                   .messages = {Key(msg::KeyUp, 0x41, 0xc01e0001)},
                   .expected = {"keyup(41,c01e0001):" + Ends},
                   .terminating = true,
                   .endPending = true},
        // Mouse input off: moves still count, but nothing mouse-borne ends
        // the saver; keys still do.
        TRulesCase{.name = "MouseInputOffOnlyKeysEnd",
                   .settings = {.terminateOnMouseMove = false},
                   .messages = {Move(1, 1), Move(2, 2), Move(3, 3), Move(4, 4), Mouse(LButtonDown), Mouse(Wheel),
                                SaverMouse(LButtonDown, 10, 10), Key(msg::KeyDown, 0x20, 1)},
                   .expected = {"move(1,1): pass =0", "move(2,2): pass =0", "move(3,3): pass =0",
                                "move(4,4): pass =0", "lbuttondown(0,0): pass =0", "wheel(0,0): pass =0",
                                "savermouse(lbuttondown@10,10): send lbuttondown(10,10) [ pass ] pass =0",
                                "keydown(20,1):" + Ends},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "KeysOffOnlyMouseEnds",
                   .settings = {.terminateOnKeyDown = false},
                   .messages = {Key(msg::KeyDown, 0x20, 1), Key(msg::KeyUp, 0x20, 0xc0000001),
                                SaverKey(0x20, 1), Mouse(LButtonDown)},
                   .expected = {"keydown(20,1): pass =0", "keyup(20,c0000001): pass =0",
                                "saverkey(20,1): send keydown(20,1) [ pass ] pass =0", "lbuttondown(0,0):" + Ends},
                   .terminating = true,
                   .endPending = true},
        // Input over the movie's windows, forwarded by the hooks, meets the
        // same rules as input over the form.
        TRulesCase{.name = "MovesOverMovieCountAndEnd",
                   .messages = {SaverMouse(msg::MouseMove, 10, 10), SaverMouse(msg::MouseMove, 11, 10),
                                SaverMouse(msg::MouseMove, 12, 10), SaverMouse(msg::MouseMove, 12, 10)},
                   .expected = {"savermouse(move@10,10): send move(10,10) [ pass ] pass =0",
                                "savermouse(move@11,10): send move(11,10) [ pass ] pass =0",
                                "savermouse(move@12,10): send move(12,10) [ pass ] pass =0",
                                "savermouse(move@12,10): send move(12,10) [ " + End + " pass ] pass =0"},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "ClickOverMovieEnds",
                   .messages = {SaverMouse(LButtonDown, 100, 200)},
                   .expected = {"savermouse(lbuttondown@100,200): send lbuttondown(100,200) [ " + End +
                                " pass ] pass =0"},
                   .terminating = true,
                   .endPending = true},
        // Bit 31 of the flags chooses the key message; key and flags travel
        // unchanged.
        TRulesCase{.name = "KeyPressOverMovieEnds",
                   .messages = {SaverKey(0x41, 0x1e0001)},
                   .expected = {"saverkey(41,1e0001): send keydown(41,1e0001) [ " + End + " pass ] pass =0"},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "KeyReleaseOverMovieEnds",
                   .messages = {SaverKey(0x41, 0xc01e0001)},
                   .expected = {"saverkey(41,c01e0001): send keyup(41,c01e0001) [ " + End + " pass ] pass =0"},
                   .terminating = true,
                   .endPending = true},
        // Bit 30 (the key was down before) does not choose the message.
        TRulesCase{.name = "RepeatedKeyIsKeyDown",
                   .messages = {SaverKey(0x41, 0x401e0001)},
                   .expected = {"saverkey(41,401e0001): send keydown(41,401e0001) [ " + End + " pass ] pass =0"},
                   .terminating = true,
                   .endPending = true},
        // The hook's screen position becomes client coordinates: the form
        // covers a desktop whose left monitor begins at -1280, -200. A
        // forwarded move to the form's last position does not count.
        TRulesCase{.name = "ForwardedMoveInClientCoordinates",
                   .settings = {.clientOrigin = {-1280, -200}},
                   .messages = {Move(280, 100), SaverMouse(msg::MouseMove, -1000, -100),
                                SaverMouse(msg::MouseMove, -999, -100), Move(281, 100)},
                   .expected = {"move(280,100): pass =0",
                                "savermouse(move@-1000,-100): send move(280,100) [ pass ] pass =0",
                                "savermouse(move@-999,-100): send move(281,100) [ pass ] pass =0",
                                "move(281,100): pass =0"},
                   .mouseMoveCount = 2},
        TRulesCase{.name = "ScreenSaveCommandAnsweredNotPassed",
                   .messages = {SysCommand(msg::ScreenSaveCommand), SysCommand(0xF060), SysCommand(0xF141)},
                   .expected = {"syscommand(f140): =1", "syscommand(f060): pass =0", "syscommand(f141): pass =0"}},
        TRulesCase{.name = "PasswordAccepted",
                   .settings = {.usePassword = true},
                   .passwordAnswers = {true},
                   .messages = {Mouse(LButtonDown)},
                   .expected = {"lbuttondown(0,0): verify:yes" + Ends},
                   .terminating = true,
                   .endPending = true},
        // A refusal hides the pointer again; a click asks again at once.
        TRulesCase{.name = "PasswordRefusedClickAsksAgain",
                   .settings = {.usePassword = true},
                   .passwordAnswers = {false, true},
                   .messages = {Mouse(LButtonDown), Mouse(LButtonDown)},
                   .expected = {"lbuttondown(0,0): verify:no cursor:hide pass =0",
                                "lbuttondown(0,0): verify:yes" + Ends},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "PasswordRefusedKeyAsksAgain",
                   .settings = {.usePassword = true},
                   .passwordAnswers = {false, false},
                   .messages = {Key(msg::KeyDown, 0x20, 1), Key(msg::KeyUp, 0x20, 0xc0000001)},
                   .expected = {"keydown(20,1): verify:no cursor:hide pass =0",
                                "keyup(20,c0000001): verify:no cursor:hide pass =0"}},
        // The pointer wanted visible is shown again after a refusal.
        TRulesCase{.name = "PasswordRefusedPointerStaysShown",
                   .settings = {.usePassword = true, .showMouseCursor = true},
                   .passwordAnswers = {false},
                   .messages = {Mouse(LButtonDown)},
                   .expected = {"lbuttondown(0,0): verify:no cursor:show pass =0"}},
        // Refused on a move to the last position: the count is 0 and three
        // new positions are needed before a move asks again.
        TRulesCase{.name = "RefusedOnRepeatedMoveNeedsThreeNewPositions",
                   .settings = {.usePassword = true},
                   .passwordAnswers = {false, true},
                   .messages = {Move(5, 5), Move(6, 6), Move(7, 7), Move(7, 7), Move(8, 8), Move(9, 9),
                                Move(10, 10), Move(10, 10)},
                   .expected = {"move(5,5): pass =0", "move(6,6): pass =0", "move(7,7): pass =0",
                                "move(7,7): verify:no cursor:hide pass =0", "move(8,8): pass =0",
                                "move(9,9): pass =0", "move(10,10): pass =0", "move(10,10): verify:yes" + Ends},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        // Refused on a move to a new position: the same message counts
        // after the reset, so two more new positions fill the threshold.
        TRulesCase{.name = "RefusedMoveToNewPositionCountsItself",
                   .settings = {.usePassword = true},
                   .passwordAnswers = {false, true},
                   .messages = {Move(5, 5), Move(6, 6), Move(7, 7), Move(8, 8), Move(9, 9), Move(10, 10),
                                Move(10, 10)},
                   .expected = {"move(5,5): pass =0", "move(6,6): pass =0", "move(7,7): pass =0",
                                "move(8,8): verify:no cursor:hide pass =0", "move(9,9): pass =0",
                                "move(10,10): pass =0", "move(10,10): verify:yes" + Ends},
                   .mouseMoveCount = 3,
                   .terminating = true,
                   .endPending = true},
        // Once the sequence has begun, everything is only passed on: no
        // second end, no tick, not even the screen-saver command withheld.
        TRulesCase{.name = "AfterEndEverythingPassesOn",
                   .messages = {Mouse(LButtonDown), Key(msg::KeyDown, 0x20, 1), Move(9, 9), Mouse(Wheel), Paint,
                                Erase, SysCommand(msg::ScreenSaveCommand), Close, SaverKey(0x20, 1),
                                SaverMouse(LButtonDown, 1, 1)},
                   .expected = {"lbuttondown(0,0):" + Ends, "keydown(20,1): pass =0", "move(9,9): pass =0",
                                "wheel(0,0): pass =0", "paint: pass =0", "erase: pass =0",
                                "syscommand(f140): pass =0", "close: pass =0", "saverkey(20,1): pass =0",
                                "savermouse(lbuttondown@1,1): pass =0"},
                   .terminating = true,
                   .endPending = true},
        TRulesCase{.name = "PaintTicksAfterPassingOn",
                   .messages = {Paint, Paint},
                   .expected = {"paint: pass tick =0", "paint: pass tick =0"}},
        TRulesCase{.name = "EraseWithheldWhenTickDrew",
                   .settings = {.tickDraws = true},
                   .messages = {Erase},
                   .expected = {"erase: tick:drew =1"}},
        TRulesCase{.name = "ErasePassedOnWhenTickDrewNothing",
                   .messages = {Erase},
                   .expected = {"erase: tick pass =1"}},
        // The preview ends by its window closing: out of sight first, then
        // detached from the preview window, then the terminate sequence.
        TRulesCase{.name = "PreviewCloseDetachesAndEnds",
                   .settings = {.mode = smPreview},
                   .messages = {Close, Close},
                   .expected = {"close: outofsight unparent:yes" + Ends, "close: pass =0"},
                   .terminating = true},
        TRulesCase{.name = "PreviewWithoutParentOnlyMovesOutOfSight",
                   .settings = {.mode = smPreview, .hasParentWindow = false},
                   .messages = {Close},
                   .expected = {"close: outofsight unparent:no pass =0"}},
        // Outside the preview the form only moves away and closes the usual
        // way, through the old procedure.
        TRulesCase{.name = "FullScreenCloseOnlyMovesOutOfSight",
                   .messages = {Close},
                   .expected = {"close: outofsight pass =0"}},
        TRulesCase{.name = "PreviewInputEndsNothing",
                   .settings = {.mode = smPreview},
                   .messages = {Move(1, 1), Move(2, 2), Move(3, 3), Move(4, 4), Mouse(LButtonDown),
                                Key(msg::KeyDown, 0x20, 1)},
                   .expected = {"move(1,1): pass =0", "move(2,2): pass =0", "move(3,3): pass =0",
                                "move(4,4): pass =0", "lbuttondown(0,0): pass =0", "keydown(20,1): pass =0"},
                   .mouseMoveCount = 3},
        // Activation and focus messages end nothing.
        TRulesCase{.name = "OtherMessagesOnlyPassOn",
                   .messages = {Mouse(0x0006), Mouse(0x0007), Mouse(0x0008), Mouse(0x001C)},
                   .expected = {"msg6: pass =0", "msg7: pass =0", "msg8: pass =0", "msg1c: pass =0"}}),
    [](const testing::TestParamInfo<TRulesCase>& info) { return std::string(info.param.name); });

// A fake whose rules run in the given mode with the default settings.
struct TWindowInMode : TFakeWindow {
    explicit TWindowInMode(TScreenSaverMode mode) { Rules.Settings.Mode = mode; }
};

TEST(SaverMessageRulesButtons, EveryButtonAndTheWheelEndAtOnce)
{
    for (unsigned id = msg::LeftButtonDown; id <= msg::MouseWheel; ++id) {
        TWindowInMode window(smFullScreen);
        EXPECT_EQ(window.Dispatch(Mouse(id)), Describe(Mouse(id)) + ":" + Ends) << Hex(id);
        EXPECT_EQ(window.OnTerminateCount, 1) << Hex(id);
    }
}

TEST(SaverMessageRulesButtons, MessagesBesideTheRangeEndNothing)
{
    // Extra buttons and the horizontal wheel lie beyond the range.
    for (unsigned id : {0x20Bu, 0x20Cu, 0x20Du, 0x20Eu}) {
        TWindowInMode window(smFullScreen);
        EXPECT_EQ(window.Dispatch(Mouse(id)), "msg" + Hex(id) + ": pass =0");
        EXPECT_FALSE(window.Rules.Terminating());
    }
}

class SaverMessageRulesOtherModes : public testing::TestWithParam<TScreenSaverMode> {};

// Outside the full-screen run no input ends the saver, whatever the settings.
TEST_P(SaverMessageRulesOtherModes, NoInputEnds)
{
    TWindowInMode window(GetParam());
    window.Rules.Settings.UsePassword = true;
    std::vector<TSaverMessage> input;
    for (std::uint16_t i = 1; i <= 6; ++i)
        input.push_back(Move(i, i));
    for (unsigned id = msg::LeftButtonDown; id <= msg::MouseWheel; ++id)
        input.push_back(Mouse(id));
    input.push_back(Key(msg::KeyDown, 0x20, 1));
    input.push_back(Key(msg::KeyUp, 0x20, 0xc0000001));
    input.push_back(SaverKey(0x20, 1));
    input.push_back(SaverMouse(LButtonDown, 5, 5));
    input.push_back(SaverMouse(msg::MouseMove, 50, 50));

    for (const TSaverMessage& message : input) {
        std::string line = window.Dispatch(message);
        EXPECT_EQ(line.find("verify"), std::string::npos) << line;
        EXPECT_EQ(line.find("onterminate"), std::string::npos) << line;
        EXPECT_NE(line.find("pass =0"), std::string::npos) << line;
    }
    EXPECT_FALSE(window.Rules.Terminating());
    EXPECT_FALSE(window.Rules.EndPending());
    EXPECT_EQ(window.Rules.MouseMoveCount(), MouseMoveThreshold);
}

TEST_P(SaverMessageRulesOtherModes, ScreenSaveCommandAnsweredAndWithheld)
{
    TWindowInMode window(GetParam());
    window.OldResult = 77;
    EXPECT_EQ(window.Dispatch(SysCommand(msg::ScreenSaveCommand)), "syscommand(f140): =1");
    // Other commands reach the old procedure, whose result is answered.
    EXPECT_EQ(window.Dispatch(SysCommand(0xF060)), "syscommand(f060): pass =77");
}

INSTANTIATE_TEST_SUITE_P(Modes, SaverMessageRulesOtherModes,
                         testing::Values(smNone, smChangePassword, smConfigure, smPreview),
                         [](const testing::TestParamInfo<TScreenSaverMode>& info) {
                             return std::to_string(static_cast<int>(info.param));
                         });

TEST(SaverMessageRulesScreenSave, AnsweredAndWithheldInFullScreen)
{
    TWindowInMode window(smFullScreen);
    window.OldResult = 77;
    EXPECT_EQ(window.Dispatch(SysCommand(msg::ScreenSaveCommand)), "syscommand(f140): =1");
    EXPECT_EQ(window.Dispatch(Erase), "erase: tick pass =1");
    EXPECT_EQ(window.Dispatch(Move(3, 4)), "move(3,4): pass =77");
}

// Messages dispatched while the sequence runs are only passed on; a click
// among them asks nothing, and a later call of the sequence does nothing.
TEST(SaverMessageRulesTerminate, RunsOnceAndPassesPendingMessagesOn)
{
    TWindowInMode window(smFullScreen);
    window.Pending = {Mouse(LButtonDown), Paint, Close, SaverKey(0x20, 1)};
    EXPECT_EQ(window.Dispatch(Key(msg::KeyDown, 0x20, 1)),
              "keydown(20,1): timeroff onterminate process [lbuttondown(0,0): pass ] [paint: pass ] [close: pass ] "
              "[saverkey(20,1): pass ] hideapp process close pass =0");

    window.Log.clear();
    window.Rules.TerminateSaver();
    EXPECT_EQ(window.Log, "");
    EXPECT_EQ(window.OnTerminateCount, 1);
}

TEST(SaverMessageRulesTerminate, TerminatingIsSetBeforeTheFirstStep)
{
    TWindowInMode window(smConfigure);
    bool terminatingAtFirstStep = false;
    window.OnAction = [&](const std::string& token) {
        if (token == "timeroff")
            terminatingAtFirstStep = window.Rules.Terminating();
    };
    window.Rules.TerminateSaver();
    EXPECT_TRUE(terminatingAtFirstStep);
    EXPECT_EQ(window.Log, " " + End);
}

// The tick after a paint looks at Terminating once the old procedure has
// returned: a sequence begun inside it leaves the tick out.
TEST(SaverMessageRulesTerminate, SequenceBegunWhilePaintingLeavesTickOut)
{
    TWindowInMode window(smFullScreen);
    window.OnAction = [&](const std::string& token) {
        if (token == "pass")
            window.Rules.TerminateSaver();
    };
    EXPECT_EQ(window.Dispatch(Paint), "paint: pass " + End + " =0");
}

// The hooks fall silent while the password dialog is open, and post again
// after a refusal.
TEST(SaverMessageRulesPassword, HooksQuietWhileAsking)
{
    TWindowInMode window(smFullScreen);
    window.Rules.Settings.UsePassword = true;
    window.PasswordAnswers = {false};
    bool endPendingWhileAsking = false;
    bool mousePostedWhileAsking = true;
    bool keyPostedWhileAsking = true;
    window.OnAction = [&](const std::string& token) {
        if (token.starts_with("verify")) {
            endPendingWhileAsking = window.Rules.EndPending();
            mousePostedWhileAsking = MouseHookPosts(&window.Rules, false);
            keyPostedWhileAsking = KeyboardHookPosts(&window.Rules);
        }
    };
    window.Dispatch(Mouse(LButtonDown));
    EXPECT_TRUE(endPendingWhileAsking);
    EXPECT_FALSE(mousePostedWhileAsking);
    EXPECT_FALSE(keyPostedWhileAsking);
    EXPECT_FALSE(window.Rules.EndPending());
    EXPECT_TRUE(MouseHookPosts(&window.Rules, false));
    EXPECT_TRUE(KeyboardHookPosts(&window.Rules));
}

// An exception after the refusal still clears EndPending on its way out, so
// the hooks forward input again and the next click asks again.
TEST(SaverMessageRulesPassword, ExceptionAfterRefusalClearsEndPending)
{
    TWindowInMode window(smFullScreen);
    window.Rules.Settings.UsePassword = true;
    window.PasswordAnswers = {false, true};
    window.OnAction = [](const std::string& token) {
        if (token == "cursor:hide")
            throw std::runtime_error("pointer");
    };
    EXPECT_THROW(window.Rules.SaverWndProc(Mouse(LButtonDown)), std::runtime_error);
    EXPECT_FALSE(window.Rules.EndPending());
    EXPECT_FALSE(window.Rules.Terminating());
    EXPECT_TRUE(KeyboardHookPosts(&window.Rules));

    window.OnAction = nullptr;
    EXPECT_EQ(window.Dispatch(Mouse(LButtonDown)), "lbuttondown(0,0): verify:yes" + Ends);
}

// The request starts out verified, and an exception from the dialog leaves
// before any answer: EndPending stays set and the hooks stay quiet, while
// the form's own input still asks.
TEST(SaverMessageRulesPassword, ExceptionFromDialogLeavesEndPending)
{
    TWindowInMode window(smFullScreen);
    window.Rules.Settings.UsePassword = true;
    window.PasswordAnswers = {false, true};
    window.OnAction = [](const std::string& token) {
        if (token == "verify:no")
            throw std::runtime_error("dialog");
    };
    EXPECT_THROW(window.Rules.SaverWndProc(Key(msg::KeyDown, 0x20, 1)), std::runtime_error);
    EXPECT_TRUE(window.Rules.EndPending());
    EXPECT_FALSE(window.Rules.Terminating());
    EXPECT_FALSE(KeyboardHookPosts(&window.Rules));

    window.OnAction = nullptr;
    EXPECT_EQ(window.Dispatch(Key(msg::KeyDown, 0x20, 1)), "keydown(20,1): verify:yes" + Ends);
}

// An exception from the sequence itself leaves it begun: nothing asks again.
TEST(SaverMessageRulesTerminate, ExceptionFromOnTerminateLeavesSequenceBegun)
{
    TWindowInMode window(smFullScreen);
    window.OnAction = [](const std::string& token) {
        if (token == "onterminate")
            throw std::runtime_error("handler");
    };
    EXPECT_THROW(window.Rules.SaverWndProc(Mouse(LButtonDown)), std::runtime_error);
    EXPECT_TRUE(window.Rules.Terminating());
    EXPECT_TRUE(window.Rules.EndPending());
    window.OnAction = nullptr;
    EXPECT_EQ(window.Dispatch(Mouse(LButtonDown)), "lbuttondown(0,0): pass =0");
    EXPECT_EQ(window.OnTerminateCount, 1);
}

TEST(SaverMessageRulesDetach, ReenteredDetachReturnsAtOnce)
{
    TWindowInMode window(smPreview);
    int nested = 0;
    window.OnAction = [&](const std::string& token) {
        if (token == "unparent:yes" && nested++ == 0)
            window.Rules.DetachPreview();
    };
    EXPECT_EQ(window.Dispatch(Close), "close: outofsight unparent:yes" + Ends);
    EXPECT_EQ(nested, 1);
}

TEST(SaverMessageRulesDetach, ExceptionClearsTheGuard)
{
    TWindowInMode window(smPreview);
    window.OnAction = [](const std::string& token) {
        if (token == "unparent:yes")
            throw std::runtime_error("parent");
    };
    EXPECT_THROW(window.Rules.SaverWndProc(Close), std::runtime_error);
    EXPECT_FALSE(window.Rules.Terminating());

    window.OnAction = nullptr;
    EXPECT_EQ(window.Dispatch(Close), "close: outofsight unparent:yes" + Ends);
}

// The writer shows or hides the pointer only in the full-screen mode; the
// plain store never does.
TEST(SaverMessageRulesCursor, WriterActsOnlyInFullScreen)
{
    TWindowInMode fullScreen(smFullScreen);
    fullScreen.Rules.SetShowMouseCursor(true);
    fullScreen.Rules.SetShowMouseCursor(false);
    fullScreen.Rules.StoreShowMouseCursor(true);
    EXPECT_EQ(fullScreen.Log, " cursor:show cursor:hide");
    EXPECT_TRUE(fullScreen.Rules.ShowMouseCursor());

    for (TScreenSaverMode mode : {smNone, smChangePassword, smConfigure, smPreview}) {
        TWindowInMode window(mode);
        window.Rules.SetShowMouseCursor(true);
        EXPECT_EQ(window.Log, "");
        EXPECT_TRUE(window.Rules.ShowMouseCursor());
    }
}

// The way the password check of the full-screen run uses the writer: shown
// for the dialog, the old value stored back without the writer; a refusal
// then hides the pointer through the writer.
TEST(SaverMessageRulesCursor, RefusalAfterDialogHidesPointerAgain)
{
    TWindowInMode window(smFullScreen);
    window.Rules.Settings.UsePassword = true;
    window.PasswordAnswers = {false};
    window.OnAction = [&](const std::string& token) {
        if (token == "verify:no") {
            bool remembered = window.Rules.ShowMouseCursor();
            window.Rules.SetShowMouseCursor(true);
            window.Rules.StoreShowMouseCursor(remembered);
        }
    };
    EXPECT_EQ(window.Dispatch(Mouse(LButtonDown)), "lbuttondown(0,0): verify:no cursor:show cursor:hide pass =0");
    EXPECT_FALSE(window.Rules.ShowMouseCursor());
}

TEST(SaverMessageRulesResend, KeyMessageChosenByBit31Only)
{
    EXPECT_EQ(KeyMessageOfFlags(0), msg::KeyDown);
    EXPECT_EQ(KeyMessageOfFlags(0x7fffffff), msg::KeyDown);
    EXPECT_EQ(KeyMessageOfFlags(0x80000000), msg::KeyUp);
    EXPECT_EQ(KeyMessageOfFlags(0xc01e0001), msg::KeyUp);
    // Flags that reach the hook sign-extended into a 64-bit lParam.
    EXPECT_EQ(KeyMessageOfFlags(std::intptr_t{std::int32_t(0xc01e0001u)}), msg::KeyUp);
}

TEST(SaverMessageRulesResend, KeyResentWithItsOwnParameters)
{
    TWindowInMode window(smFullScreen);
    window.Rules.Settings.TerminateOnKeyDown = false;
    const std::intptr_t signExtended = std::int32_t(0xc0380001u);
    window.Dispatch(SaverKey(0x1b, signExtended));
    window.Dispatch(SaverKey(0x1b, 0x00380001));
    std::vector<TSaverMessage> expected{{msg::KeyUp, 0x1b, signExtended}, {msg::KeyDown, 0x1b, 0x00380001}};
    EXPECT_EQ(window.Sent, expected);
}

struct TResendCase {
    const char* name;
    unsigned id;
    std::int32_t screenX;
    std::int32_t screenY;
    TScreenPoint origin;
    std::uint16_t clientX;
    std::uint16_t clientY;
};

class SaverMouseResendTest : public testing::TestWithParam<TResendCase> {};

TEST_P(SaverMouseResendTest, ScreenPositionBecomesClientPosition)
{
    const TResendCase& c = GetParam();
    TSaverMessage sent =
        ReSentMouseMessage({WM_SAVERMOUSE, c.id, PackSaverMousePosition(c.screenX, c.screenY)}, c.origin);
    TSaverMessage expected{c.id, 0, static_cast<std::intptr_t>(std::uint32_t{c.clientX} | std::uint32_t{c.clientY} << 16)};
    EXPECT_EQ(sent, expected) << Describe(sent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaverMouseResendTest,
    testing::Values(
        TResendCase{"PrimaryAtOrigin", msg::MouseMove, 100, 200, {0, 0}, 100, 200},
        TResendCase{"MonitorRightOfPrimary", LButtonDown, 1920 + 30, 40, {0, 0}, 1950, 40},
        // A desktop whose left monitor begins at -1280 and top at -200.
        TResendCase{"NegativeMonitor", msg::MouseMove, -1000, -100, {-1280, -200}, 280, 100},
        TResendCase{"NegativeMonitorCorner", Wheel, -1280, -200, {-1280, -200}, 0, 0},
        TResendCase{"PrimaryOnNegativeDesktop", RButtonUp, 5, 6, {-1280, -200}, 1285, 206},
        // A form not covering the point: negative client coordinates are
        // carried as real mouse messages carry them, in two's complement.
        TResendCase{"LeftOfForm", msg::MouseMove, 10, 20, {50, 60}, 0xffd8, 0xffd8},
        // The hook cuts each coordinate to 16 bits.
        TResendCase{"CutTo16Bits", msg::MouseMove, 70000, 65536 + 7, {0, 0}, 70000 - 65536, 7}),
    [](const testing::TestParamInfo<TResendCase>& info) { return std::string(info.param.name); });

TEST(SaverMessageRulesResend, HookPositionPackedInTwoWords)
{
    EXPECT_EQ(PackSaverMousePosition(0x1234, 0x5678), 0x56781234);
    EXPECT_EQ(PackSaverMousePosition(-1, -2), static_cast<std::intptr_t>(0xfffeffffu));
    EXPECT_EQ(PackSaverMousePosition(0x12345, 0x6789a), 0x789a2345);
}

// What the hooks decide, for a saver in each of its states.
enum class THookState { NoSaver, Watching, EndGranted, EndRefused };

struct THookCase {
    const char* name;
    THookState state;
    bool terminateOnMouseMove;
    bool terminateOnKeyDown;
    bool recordWindowIsForm;
    bool mousePosts;
    bool keyPosts;
};

class SaverHookDecisionTest : public testing::TestWithParam<THookCase> {};

TEST_P(SaverHookDecisionTest, PostOnlyWhileWatchingAndWanted)
{
    const THookCase& c = GetParam();
    TWindowInMode window(smFullScreen);
    window.Rules.Settings.UsePassword = true;
    if (c.state == THookState::EndGranted || c.state == THookState::EndRefused) {
        window.PasswordAnswers = {c.state == THookState::EndGranted};
        window.Dispatch(Key(msg::KeyDown, 0x20, 1));
    }
    window.Rules.Settings.TerminateOnMouseMove = c.terminateOnMouseMove;
    window.Rules.Settings.TerminateOnKeyDown = c.terminateOnKeyDown;
    const TSaverMessageRules* active = c.state == THookState::NoSaver ? nullptr : &window.Rules;
    EXPECT_EQ(MouseHookPosts(active, c.recordWindowIsForm), c.mousePosts);
    EXPECT_EQ(KeyboardHookPosts(active), c.keyPosts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaverHookDecisionTest,
    testing::Values(THookCase{"NoSaver", THookState::NoSaver, true, true, false, false, false},
                    THookCase{"Watching", THookState::Watching, true, true, false, true, true},
                    // The form's own input reaches the window procedure directly.
                    THookCase{"RecordWindowIsForm", THookState::Watching, true, true, true, false, true},
                    THookCase{"MouseOff", THookState::Watching, false, true, false, false, true},
                    THookCase{"KeysOff", THookState::Watching, true, false, false, true, false},
                    THookCase{"BothOff", THookState::Watching, false, false, false, false, false},
                    THookCase{"EndGranted", THookState::EndGranted, true, true, false, false, false},
                    THookCase{"EndRefused", THookState::EndRefused, true, true, false, true, true}),
    [](const testing::TestParamInfo<THookCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace saver
