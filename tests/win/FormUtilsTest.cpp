// Window placement on real windows and the real monitor list: the topmost
// call leaves place, size and activation alone, the clamp reads the monitors'
// work areas, and centring moves a form in one change.
#include "host/FormUtils.h"

#include "win/Monitors.h"
#include "unit/RectPrinting.h"
#include "win/WindowedControl.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace saver {
namespace {

TRect FromWin32(const RECT& rect) { return TRect{rect.left, rect.top, rect.right, rect.bottom}; }

TRect WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return FromWin32(rect);
}

bool IsTopMost(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

void ProcessPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Serves this thread's messages until done() holds or the time is up; the
// last answer of done() is returned.
template <typename Done>
bool PumpUntil(Done done, ULONGLONG timeoutMs)
{
    ULONGLONG start = GetTickCount64();
    for (;;) {
        ProcessPendingMessages();
        if (done())
            return true;
        if (GetTickCount64() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// A popup window that TWindowedControl describes the way a form would: the
// window appears on the first Handle() call with the bounds set until then.
// It counts the moves and size changes that reach it.
class TTestWindow final : public win::TWindowedControl {
public:
    explicit TTestWindow(TRect bounds) : bounds_(bounds) {}
    ~TTestWindow() override
    {
        if (window_)
            DestroyWindow(window_);
    }
    TTestWindow(const TTestWindow&) = delete;
    TTestWindow& operator=(const TTestWindow&) = delete;

    HWND Handle() override
    {
        if (!window_)
            Create();
        return window_;
    }
    bool HandleAllocated() const { return window_ != nullptr; }

    TRect BoundsRect() const override { return window_ ? WindowRect(window_) : bounds_; }

    void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override
    {
        bounds_ = TRect{left, top, left + width, top + height};
        if (window_)
            SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    int PlacementChanges() const { return placementChanges_; }

private:
    static constexpr wchar_t ClassName[] = L"FormUtilsTestWindow";

    void Create()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = ClassName;
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, ClassName, L"FormUtilsTest", WS_POPUP, bounds_.Left, bounds_.Top,
                                  bounds_.Width(), bounds_.Height(), nullptr, nullptr, windowClass.hInstance,
                                  nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TTestWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_WINDOWPOSCHANGED) {
            const auto& position = *reinterpret_cast<const WINDOWPOS*>(lParam);
            if ((position.flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE))
                ++self->placementChanges_;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    TRect bounds_;
    HWND window_ = nullptr;
    int placementChanges_ = 0;
};

// Whether above lies before below in the z-order.
bool IsAbove(HWND above, HWND below)
{
    for (HWND window = GetWindow(below, GW_HWNDPREV); window; window = GetWindow(window, GW_HWNDPREV)) {
        if (window == above)
            return true;
    }
    return false;
}

// Two shown windows: target, not active, and other, the active and
// foreground window of the system. Other serves the whole suite: under Wine
// without a window manager, hiding or destroying a window that was once
// active waits two seconds for a confirmation that never comes.
class TopMostTest : public testing::Test {
protected:
    static void SetUpTestSuite() { other_ = std::make_unique<TTestWindow>(TRect{500, 400, 700, 500}); }
    static void TearDownTestSuite() { other_.reset(); }

    void SetUp() override
    {
        HWND targetWindow = target_.Handle();
        HWND otherWindow = other_->Handle();
        ASSERT_NE(targetWindow, nullptr);
        ASSERT_NE(otherWindow, nullptr);
        ShowWindow(targetWindow, SW_SHOWNOACTIVATE);
        ShowWindow(otherWindow, SW_SHOW);
        SetForegroundWindow(otherWindow);
        ASSERT_TRUE(PumpUntil(
            [&] { return GetForegroundWindow() == otherWindow && GetActiveWindow() == otherWindow; }, 5000));
        ASSERT_FALSE(IsTopMost(targetWindow));
        targetBounds_ = WindowRect(targetWindow);
        ASSERT_EQ(targetBounds_, (TRect{130, 110, 430, 310}));
    }

    // Watches for a while that other stays the active and foreground window:
    // activation that happens at all happens while messages are served.
    static bool OtherStaysActive()
    {
        HWND otherWindow = other_->Handle();
        return !PumpUntil([&] { return GetForegroundWindow() != otherWindow || GetActiveWindow() != otherWindow; },
                          300);
    }

    static std::unique_ptr<TTestWindow> other_;
    TTestWindow target_{TRect{130, 110, 430, 310}};
    TRect targetBounds_;
};

std::unique_ptr<TTestWindow> TopMostTest::other_;

TEST_F(TopMostTest, WindowBecomesTopMostWhereItIsWithoutActivation)
{
    HWND target = target_.Handle();
    EXPECT_TRUE(SetWindowTopMost(target, 0));

    EXPECT_TRUE(IsTopMost(target));
    EXPECT_TRUE(IsAbove(target, other_->Handle()));
    EXPECT_TRUE(IsWindowVisible(target));
    EXPECT_EQ(WindowRect(target), targetBounds_);
    EXPECT_TRUE(OtherStaysActive());
    EXPECT_EQ(target_.PlacementChanges(), 0);
}

TEST_F(TopMostTest, ExtraFlagsJoinTheFixedOnes)
{
    HWND target = target_.Handle();
    EXPECT_TRUE(SetWindowTopMost(target, SWP_HIDEWINDOW));

    EXPECT_TRUE(IsTopMost(target));
    EXPECT_FALSE(IsWindowVisible(target));
    EXPECT_EQ(WindowRect(target), targetBounds_);
    EXPECT_TRUE(OtherStaysActive());
}

TEST(SetControlTopMostTest, ControlGetsItsWindowCreatedAndMadeTopMost)
{
    TTestWindow control(TRect{20, 30, 120, 90});
    ASSERT_FALSE(control.HandleAllocated());
    EXPECT_TRUE(SetControlTopMost(control, 0));

    ASSERT_TRUE(control.HandleAllocated());
    EXPECT_TRUE(IsTopMost(control.Handle()));
    EXPECT_EQ(WindowRect(control.Handle()), (TRect{20, 30, 120, 90}));
}

TEST(SetWindowTopMostTest, FailsForWindowThatIsGone)
{
    HWND gone = nullptr;
    {
        TTestWindow window(TRect{0, 0, 50, 50});
        gone = window.Handle();
        ASSERT_NE(gone, nullptr);
    }
    ASSERT_FALSE(IsWindow(gone));
    EXPECT_FALSE(SetWindowTopMost(gone, 0));
}

// A monitor list of the test's own.
class TFakeMonitors final : public win::IMonitorList {
public:
    explicit TFakeMonitors(std::vector<win::TMonitor> monitors) : monitors_(std::move(monitors)) {}
    std::vector<win::TMonitor> Monitors() const override { return monitors_; }

private:
    std::vector<win::TMonitor> monitors_;
};

TEST(ClampToSmallestWorkAreaTest, UsesTheWorkAreasNotTheMonitorBounds)
{
    // Taskbars on the bottom of the first and the left of the second monitor.
    TFakeMonitors monitors({win::TMonitor{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, true},
                            win::TMonitor{{-1280, 0, 0, 1024}, {-1220, 0, 0, 1024}, false}});
    std::int32_t width = 4000;
    std::int32_t height = 4000;
    ClampToSmallestWorkArea(width, height, 16, 80, monitors);
    EXPECT_EQ(width, 1220 - 16);
    EXPECT_EQ(height, 1024 - 80);
}

TEST(ClampToSmallestWorkAreaTest, SystemMonitorLimitsToItsWorkArea)
{
    if (GetSystemMetrics(SM_CMONITORS) != 1)
        GTEST_SKIP() << "needs exactly one monitor";
    RECT workArea{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0));
    std::int32_t width = 100000;
    std::int32_t height = 100000;
    ClampToSmallestWorkArea(width, height, 10, 20);
    EXPECT_EQ(width, workArea.right - workArea.left - 10);
    EXPECT_EQ(height, workArea.bottom - workArea.top - 20);

    std::int32_t small = 100;
    std::int32_t smaller = 50;
    ClampToSmallestWorkArea(small, smaller, 10, 20);
    EXPECT_EQ(small, 100);
    EXPECT_EQ(smaller, 50);
}

TEST(SystemMonitorsTest, ListMatchesTheSystemMetrics)
{
    std::vector<win::TMonitor> monitors = win::TSystemMonitors{}.Monitors();
    ASSERT_EQ(monitors.size(), static_cast<std::size_t>(GetSystemMetrics(SM_CMONITORS)));

    auto primary = std::find_if(monitors.begin(), monitors.end(), [](const win::TMonitor& m) { return m.Primary; });
    ASSERT_NE(primary, monitors.end());
    EXPECT_EQ(std::count_if(monitors.begin(), monitors.end(), [](const win::TMonitor& m) { return m.Primary; }), 1);
    EXPECT_EQ(primary->Bounds, (TRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
    RECT workArea{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0));
    EXPECT_EQ(primary->WorkArea, FromWin32(workArea));

    // Together the monitors span the virtual screen.
    TRect span = monitors.front().Bounds;
    for (const win::TMonitor& monitor : monitors) {
        span.Left = std::min(span.Left, monitor.Bounds.Left);
        span.Top = std::min(span.Top, monitor.Bounds.Top);
        span.Right = std::max(span.Right, monitor.Bounds.Right);
        span.Bottom = std::max(span.Bottom, monitor.Bounds.Bottom);
    }
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    EXPECT_EQ(span, (TRect{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           top + GetSystemMetrics(SM_CYVIRTUALSCREEN)}));
}

// A form that only records what is asked of it.
class TRecordingForm final : public win::TWindowedControl {
public:
    explicit TRecordingForm(TRect bounds) : bounds_(bounds) {}
    HWND Handle() override { return nullptr; }
    TRect BoundsRect() const override { return bounds_; }
    void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override
    {
        calls.push_back(TRect{left, top, left + width, top + height});
        bounds_ = calls.back();
    }

    std::vector<TRect> calls;

private:
    TRect bounds_;
};

TEST(CenterFormInRectTest, KeepsTheSizeAndSetsTheBoundsOnce)
{
    // 804 × 604 in 801 × 601: offsets of -1, wherever the form stood before.
    TRecordingForm form(TRect{-500, 700, 304, 1304});
    CenterFormInRect(form, TRect{100, 50, 901, 651});
    ASSERT_EQ(form.calls.size(), 1u);
    EXPECT_EQ(form.calls[0], (TRect{99, 49, 903, 653}));
}

TEST(CenterFormInRectTest, MovesRealWindowInOneChange)
{
    TTestWindow form(TRect{7, 9, 307, 209});
    ASSERT_NE(form.Handle(), nullptr);
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    ProcessPendingMessages();
    int changesBefore = form.PlacementChanges();

    CenterFormInRect(form, TRect{100, 50, 901, 651});
    EXPECT_EQ(WindowRect(form.Handle()), (TRect{350, 250, 650, 450}));
    EXPECT_EQ(form.PlacementChanges() - changesBefore, 1);
}

} // namespace
} // namespace saver
