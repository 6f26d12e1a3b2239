// TThreadTimer and its worker: the properties and their stored defaults, the
// three ways a tick is delivered, the wait between ticks, enabling and
// disabling (also from the worker), an exception ending the ticks for good,
// and every way the timer and its worker can end: destroyed enabled, during a
// tick in the worker, with a synchronised tick pending, never started, after
// the worker ended on its own, and with its owner.
//
// Timings are checked as order and generous bounds only: the machine running
// the tests may be loaded. Waits are bounded and serve this thread's messages
// unless a test needs them left in the queue.
#include "host/ThreadTimer.h"

#include "win/Application.h"
#include "win/Component.h"
#include "win/Handle.h"
#include "win/MessagePump.h"
#include "win/Synchronize.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace saver {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

long long MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

void PumpOnce()
{
    win::ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
}

// Bounded wait for done(), serving this thread's messages (and with them the
// synchronised ticks) unless pump is false.
bool WaitUntil(const std::function<bool()>& done, long long timeoutMs = 5000, bool pump = true)
{
    const auto start = Clock::now();
    while (!done()) {
        if (MsSince(start) > timeoutMs)
            return done();
        if (pump)
            PumpOnce();
        else
            Sleep(5);
    }
    return true;
}

// For checks that something does not happen: serves messages for a while.
void PumpFor(long long ms)
{
    const auto start = Clock::now();
    while (MsSince(start) < ms)
        PumpOnce();
}

win::TKernelHandle OpenWorkerThread(const TThreadTimer& timer)
{
    return win::TKernelHandle(
        OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, timer.Worker().ThreadId()));
}

bool ThreadEndsWithin(const win::TKernelHandle& thread, DWORD ms)
{
    return WaitForSingleObject(thread.Get(), ms) == WAIT_OBJECT_0;
}

// How many kernel handles this process holds, -1 if the system does not say.
// From the system's handle list, as GetProcessHandleCount gives 0 under Wine.
int OwnHandleCount()
{
    // One entry of the list (SystemHandleInformation, class 16). The process
    // id is a 16-bit field followed by another on Windows, a 32-bit one in
    // Wine; the low 16 bits serve both.
    struct TEntry {
        ULONG processId;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        void* object;
        ULONG access;
    };
    // The list: a count, then the entries, aligned as the entries need.
    struct THeader {
        ULONG count;
        TEntry first;
    };
    using TQuery = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    constexpr ULONG SystemHandleInformation = 16;
    constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
    auto query = reinterpret_cast<TQuery>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<std::uint8_t> buffer(1 << 20);
    LONG status;
    ULONG length = 0;
    while ((status = query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length)) ==
           InfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    ULONG entries;
    std::memcpy(&entries, buffer.data(), sizeof entries);
    const std::uint8_t* first = buffer.data() + offsetof(THeader, first);
    const auto own = static_cast<std::uint16_t>(GetCurrentProcessId());
    int count = 0;
    for (ULONG i = 0; i < entries; ++i) {
        TEntry entry;
        std::memcpy(&entry, first + i * sizeof(TEntry), sizeof entry);
        if (static_cast<std::uint16_t>(entry.processId) == own)
            ++count;
    }
    return count;
}

// What the handlers of a test saw. Written by the ticks, read by the test
// once the timer is destroyed, when no tick runs any more.
struct TTicks {
    std::atomic<int> count{0};
    std::array<DWORD, 64> threads{};
    std::array<Clock::time_point, 64> starts{};
    std::array<Clock::time_point, 64> ends{};
    std::atomic<bool> wrongSender{false};

    win::TNotifyEvent Handler(const TThreadTimer& timer, DWORD workMs = 0)
    {
        return [this, &timer, workMs](win::TComponent* sender) {
            const int index = count.load();
            if (index < 64) {
                starts[index] = Clock::now();
                threads[index] = GetCurrentThreadId();
            }
            if (sender != &timer)
                wrongSender = true;
            // The tick's own work, not a wait for anything.
            if (workMs)
                Sleep(workMs);
            if (index < 64)
                ends[index] = Clock::now();
            count.store(index + 1);
        };
    }
};

// A component with a window, standing in for a windowed owner. It destroys
// what it owns before its window, as a windowed control does.
class TWindowOwner : public win::TComponent {
public:
    explicit TWindowOwner(win::TComponent* owner) : TComponent(owner)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ThreadTimerTestOwner";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    }
    ~TWindowOwner() override
    {
        DestroyComponents();
        DestroyWindow(window_);
    }
    HWND WindowHandle() const override { return window_; }

private:
    HWND window_ = nullptr;
};

// Takes the messages in [first, last] posted to window, checking that both
// parameters are 0. Returns how many there were.
int TakeMessages(HWND window, UINT first, UINT last, UINT& seen, bool& nonZeroParameters)
{
    int taken = 0;
    MSG message;
    while (PeekMessageW(&message, window, first, last, PM_REMOVE)) {
        ++taken;
        seen = message.message;
        if (message.wParam != 0 || message.lParam != 0)
            nonZeroParameters = true;
    }
    return taken;
}

class ThreadTimerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(win::InitializeSynchronize());
        win::ProcessMessages();
    }
    void TearDown() override
    {
        win::TApplication::CancelTerminate();
        Finalizing.store(false);
        win::ProcessMessages();
    }
};

// ---- properties ----

TEST_F(ThreadTimerTest, NewTimerHasTheStoredDefaultsAndASuspendedWorker)
{
    auto timer = win::MakeUnowned<TThreadTimer>();
    EXPECT_FALSE(timer->UseSyncronize());
    EXPECT_FALSE(timer->UseMessage());
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 100);
    EXPECT_EQ(timer->Data(), 0);
    EXPECT_EQ(timer->MessageNo(), 768);
    EXPECT_EQ(timer->Priority(), tpNormal);
    EXPECT_FALSE(timer->OnTimer());
    EXPECT_TRUE(timer->Worker().Suspended());
    EXPECT_FALSE(timer->Worker().Running());
    EXPECT_NE(timer->Worker().ThreadId(), 0u);
}

struct TIntervalCase {
    int written;
    int stored;
};

class ThreadTimerIntervalTest : public ThreadTimerTest, public testing::WithParamInterface<TIntervalCase> {};

TEST_P(ThreadTimerIntervalTest, ValuesBelowTenBecomeTen)
{
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(GetParam().written);
    EXPECT_EQ(timer->Interval(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Values, ThreadTimerIntervalTest,
                         testing::Values(TIntervalCase{0, 10}, TIntervalCase{-1, 10}, TIntervalCase{-100000, 10},
                                         TIntervalCase{9, 10}, TIntervalCase{10, 10}, TIntervalCase{11, 11},
                                         TIntervalCase{100, 100}, TIntervalCase{250, 250}));

TEST_F(ThreadTimerTest, PriorityReadsBackEachLevelFromTheThreadItself)
{
    constexpr std::array<std::pair<TThreadPriority, int>, 7> levels{{{tpIdle, THREAD_PRIORITY_IDLE},
                                                                     {tpLowest, THREAD_PRIORITY_LOWEST},
                                                                     {tpLower, THREAD_PRIORITY_BELOW_NORMAL},
                                                                     {tpNormal, THREAD_PRIORITY_NORMAL},
                                                                     {tpHigher, THREAD_PRIORITY_ABOVE_NORMAL},
                                                                     {tpHighest, THREAD_PRIORITY_HIGHEST},
                                                                     {tpTimeCritical, THREAD_PRIORITY_TIME_CRITICAL}}};
    // Once on a worker not started yet, once on a running one.
    for (bool started : {false, true}) {
        auto timer = win::MakeUnowned<TThreadTimer>();
        if (started)
            timer->SetEnabled(true);
        win::TKernelHandle thread = OpenWorkerThread(*timer);
        ASSERT_TRUE(thread);
        for (auto [level, win32] : levels) {
            timer->SetPriority(level);
            EXPECT_EQ(timer->Priority(), level) << "level " << int(level) << ", started " << started;
            EXPECT_EQ(GetThreadPriority(thread.Get()), win32) << "level " << int(level) << ", started " << started;
        }
    }
}

TEST(ThreadPriorityTableTest, ValuesOutsideTheTableReadAsNormal)
{
    struct TCase {
        int value;
        TThreadPriority level;
    };
    for (TCase c : {TCase{-15, tpIdle}, TCase{-2, tpLowest}, TCase{-1, tpLower}, TCase{0, tpNormal},
                    TCase{1, tpHigher}, TCase{2, tpHighest}, TCase{15, tpTimeCritical}, TCase{-16, tpNormal},
                    TCase{-14, tpNormal}, TCase{-7, tpNormal}, TCase{-3, tpNormal}, TCase{3, tpNormal},
                    TCase{6, tpNormal}, TCase{14, tpNormal}, TCase{16, tpNormal}, TCase{31, tpNormal}}) {
        EXPECT_EQ(ThreadPriorityFromWin32(c.value), c.level) << c.value;
    }
}

// ---- enabling ----

TEST_F(ThreadTimerTest, DisablingADisabledTimerDoesNotStartTheWorker)
{
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetEnabled(false);
    EXPECT_TRUE(timer->Worker().Suspended());
    EXPECT_FALSE(timer->Worker().Active());
}

TEST_F(ThreadTimerTest, EnablingTwiceStartsTheWorkerOnceAndKeepsTicking)
{
    TTicks ticks;
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetOnTimer(ticks.Handler(*timer));
    const DWORD worker = timer->Worker().ThreadId();

    timer->SetEnabled(true);
    EXPECT_FALSE(timer->Worker().Suspended());
    timer->SetEnabled(true);

    EXPECT_TRUE(timer->Enabled());
    EXPECT_TRUE(timer->Worker().Active());
    EXPECT_EQ(timer->Worker().ThreadId(), worker);
    ASSERT_TRUE(WaitUntil([&] { return ticks.count.load() >= 3; }));
    timer.reset();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ticks.threads[i], worker) << "tick " << i;
    EXPECT_FALSE(ticks.wrongSender.load());
}

TEST_F(ThreadTimerTest, DisablingStopsTheTicksAndEnablingAgainResumesThem)
{
    TTicks ticks;
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetOnTimer(ticks.Handler(*timer));
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return ticks.count.load() >= 2; }));

    timer->SetEnabled(false);
    timer->SetEnabled(false);
    // A tick that had passed its check when Enabled changed may still come.
    const int atDisabling = ticks.count.load();
    PumpFor(300);
    EXPECT_LE(ticks.count.load(), atDisabling + 1);
    EXPECT_TRUE(timer->Worker().Running());

    const int beforeEnabling = ticks.count.load();
    timer->SetEnabled(true);
    EXPECT_TRUE(WaitUntil([&] { return ticks.count.load() >= beforeEnabling + 2; }));
}

TEST_F(ThreadTimerTest, HandlerMayDisableAndEnableItsTimerFromTheWorker)
{
    // What the screen-saver controller's handler does on every tick.
    std::atomic<int> count{0};
    auto timer = win::MakeUnowned<TThreadTimer>();
    TThreadTimer* self = timer.get();
    timer->SetInterval(15);
    timer->SetPriority(tpHighest);
    timer->SetOnTimer([&count, self](win::TComponent*) {
        self->SetEnabled(false);
        ++count;
        self->SetEnabled(true);
    });
    timer->SetEnabled(true);
    EXPECT_TRUE(WaitUntil([&] { return count.load() >= 5; }));
    EXPECT_TRUE(timer->Enabled());
}

TEST_F(ThreadTimerTest, DesignedTimerDoesNotTick)
{
    TTicks ticks;
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetOnTimer(ticks.Handler(*timer));
    timer->SetDesigning(true);
    timer->SetEnabled(true);
    PumpFor(200);
    EXPECT_EQ(ticks.count.load(), 0);
    timer->SetDesigning(false);
    EXPECT_TRUE(WaitUntil([&] { return ticks.count.load() >= 1; }));
}

// ---- the wait ----

struct TDeliveryCase {
    const char* name;
    bool synchronised;
};

class ThreadTimerDeliveryTest : public ThreadTimerTest, public testing::WithParamInterface<TDeliveryCase> {};

INSTANTIATE_TEST_SUITE_P(Ways, ThreadTimerDeliveryTest,
                         testing::Values(TDeliveryCase{"Direct", false}, TDeliveryCase{"Synchronised", true}),
                         [](const testing::TestParamInfo<TDeliveryCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_P(ThreadTimerDeliveryTest, EachWaitStartsWhenTheTickHasReturned)
{
    constexpr int IntervalMs = 40;
    constexpr DWORD TickWorkMs = 70;
    // The clocks of the worker and of the test may step a little apart.
    constexpr long long ClockSlackMs = 16;
    TTicks ticks;
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(IntervalMs);
    timer->SetUseSyncronize(GetParam().synchronised);
    timer->SetOnTimer(ticks.Handler(*timer, TickWorkMs));
    const auto enabled = Clock::now();
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return ticks.count.load() >= 4; }, 10000));
    timer.reset();

    EXPECT_GE(MsBetween(enabled, ticks.starts[0]) + ClockSlackMs, IntervalMs);
    for (int i = 0; i + 1 < 4; ++i) {
        const long long gap = MsBetween(ticks.ends[i], ticks.starts[i + 1]);
        EXPECT_GE(gap + ClockSlackMs, IntervalMs) << "after tick " << i;
        EXPECT_LT(gap, 2000) << "after tick " << i;
    }
}

TEST_F(ThreadTimerTest, ChangedIntervalAppliesFromTheFollowingWait)
{
    constexpr int LongMs = 600;
    TTicks ticks;
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(LongMs);
    timer->SetPriority(tpHighest);
    timer->SetOnTimer(ticks.Handler(*timer));
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return ticks.count.load() >= 1; }));
    // Well inside the next wait, whose deadline was taken as the tick returned.
    PumpFor(100);
    timer->SetInterval(20);
    ASSERT_TRUE(WaitUntil([&] { return ticks.count.load() >= 3; }));
    timer.reset();

    EXPECT_GE(MsBetween(ticks.ends[0], ticks.starts[1]), LongMs - 150);
    EXPECT_LT(MsBetween(ticks.ends[1], ticks.starts[2]), LongMs - 300);
}

// ---- delivery ----

TEST_F(ThreadTimerTest, DirectTicksRunInTheWorkerThread)
{
    TTicks ticks;
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetOnTimer(ticks.Handler(*timer));
    timer->SetEnabled(true);
    // No messages served: direct ticks do not need the main thread.
    ASSERT_TRUE(WaitUntil([&] { return ticks.count.load() >= 3; }, 5000, false));
    const DWORD worker = timer->Worker().ThreadId();
    timer.reset();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ticks.threads[i], worker);
        EXPECT_NE(ticks.threads[i], GetCurrentThreadId());
    }
}

TEST_F(ThreadTimerTest, SynchronisedTicksRunInTheMainThreadWhileTheWorkerWaits)
{
    constexpr int IntervalMs = 20;
    TTicks ticks;
    std::atomic<bool> servedDuringTick{false};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(IntervalMs);
    timer->SetUseSyncronize(true);
    const win::TNotifyEvent record = ticks.Handler(*timer);
    timer->SetOnTimer([&](win::TComponent* sender) {
        record(sender);
        if (ticks.count.load() != 1)
            return;
        // A worker that went on would queue its next tick within a few
        // intervals; a waiting one queues nothing.
        const auto start = Clock::now();
        while (MsSince(start) < 6 * IntervalMs) {
            if (win::CheckSynchronize())
                servedDuringTick = true;
            Sleep(5);
        }
    });
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return ticks.count.load() >= 3; }));
    timer.reset();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ticks.threads[i], GetCurrentThreadId()) << "tick " << i;
    EXPECT_FALSE(servedDuringTick.load());
    EXPECT_FALSE(ticks.wrongSender.load());
}

struct TMessageCase {
    int messageNo;
    UINT posted;
};

class ThreadTimerMessageTest : public ThreadTimerTest, public testing::WithParamInterface<TMessageCase> {};

TEST_P(ThreadTimerMessageTest, PostsToTheOwnersWindowAndNeverCallsOnTimer)
{
    auto owner = win::MakeUnowned<TWindowOwner>();
    ASSERT_NE(owner->WindowHandle(), nullptr);
    std::atomic<int> calls{0};
    TThreadTimer* timer = win::MakeOwned<TThreadTimer>(*owner);
    timer->SetInterval(20);
    timer->SetUseMessage(true);
    if (GetParam().messageNo != 768)
        timer->SetMessageNo(GetParam().messageNo);
    timer->SetOnTimer([&](win::TComponent*) { ++calls; });
    timer->SetEnabled(true);

    int taken = 0;
    UINT seen = 0;
    bool nonZeroParameters = false;
    // Every message of the user range: none but the expected may come.
    EXPECT_TRUE(WaitUntil(
        [&] {
            taken += TakeMessages(owner->WindowHandle(), WM_USER, 0x7FFF, seen, nonZeroParameters);
            return taken >= 3;
        },
        5000, false));
    owner.reset();
    EXPECT_EQ(seen, GetParam().posted);
    EXPECT_FALSE(nonZeroParameters);
    EXPECT_EQ(calls.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Numbers, ThreadTimerMessageTest,
                         testing::Values(TMessageCase{768, 0x700}, TMessageCase{1, WM_USER + 1},
                                         TMessageCase{0x100, WM_USER + 0x100}));

TEST_F(ThreadTimerTest, SynchronisedMessageTickPostsOnlyWhenNoneIsQueued)
{
    // In the main thread the look-up sees the window's queue: a message not
    // taken yet is not posted again.
    auto owner = win::MakeUnowned<TWindowOwner>();
    TThreadTimer* timer = win::MakeOwned<TThreadTimer>(*owner);
    timer->SetInterval(20);
    timer->SetUseMessage(true);
    timer->SetUseSyncronize(true);
    timer->SetEnabled(true);

    int served = 0;
    // Serves the ticks without dispatching, so the posted messages stay.
    const auto start = Clock::now();
    while (served < 4 && MsSince(start) < 5000) {
        if (win::CheckSynchronize())
            ++served;
        Sleep(5);
    }
    ASSERT_GE(served, 4);
    UINT seen = 0;
    bool nonZeroParameters = false;
    EXPECT_EQ(TakeMessages(owner->WindowHandle(), 0x700, 0x700, seen, nonZeroParameters), 1);
    owner.reset();
}

TEST_F(ThreadTimerTest, MessageTickWithoutOwnerDoesNothing)
{
    std::atomic<int> calls{0};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetUseMessage(true);
    timer->SetOnTimer([&](win::TComponent*) { ++calls; });
    timer->SetEnabled(true);
    PumpFor(250);
    EXPECT_EQ(calls.load(), 0);
    // The same timer without UseMessage does tick.
    timer->SetUseMessage(false);
    EXPECT_TRUE(WaitUntil([&] { return calls.load() >= 1; }));
}

// Counts the live copies of itself: put into a handler, it shows whether the
// handler still exists.
class TLiveCount {
public:
    explicit TLiveCount(std::atomic<int>& live) : live_(live) { ++live_; }
    TLiveCount(const TLiveCount& other) : live_(other.live_) { ++live_; }
    TLiveCount& operator=(const TLiveCount&) = delete;
    ~TLiveCount() { --live_; }

private:
    std::atomic<int>& live_;
};

TEST_F(ThreadTimerTest, ReplacedHandlerStaysAliveWhileItRuns)
{
    std::atomic<int> live{0};
    std::atomic<bool> entered{false};
    std::atomic<bool> replaced{false};
    std::atomic<int> oldCalls{0};
    std::atomic<int> newCalls{0};
    std::atomic<int> liveAfterReplacement{-1};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetOnTimer([&, mark = TLiveCount(live)](win::TComponent*) {
        if (oldCalls++ > 0)
            return;
        entered = true;
        WaitUntil([&] { return replaced.load(); }, 5000, false);
        liveAfterReplacement = live.load();
    });
    ASSERT_EQ(live.load(), 1);
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));

    // Detached and replaced while it runs in the worker.
    timer->SetOnTimer({});
    timer->SetOnTimer([&](win::TComponent*) { ++newCalls; });
    replaced = true;

    ASSERT_TRUE(WaitUntil([&] { return newCalls.load() >= 2; }));
    EXPECT_EQ(liveAfterReplacement.load(), 1);
    EXPECT_EQ(oldCalls.load(), 1);
    // Freed with the timer.
    timer.reset();
    EXPECT_EQ(live.load(), 0);
}

// ---- exceptions ----

TEST_P(ThreadTimerDeliveryTest, ExceptionInOnTimerEndsTheTicksForGood)
{
    std::atomic<int> calls{0};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetUseSyncronize(GetParam().synchronised);
    timer->SetOnTimer([&](win::TComponent*) {
        ++calls;
        throw std::runtime_error("handler failed");
    });
    win::TKernelHandle thread = OpenWorkerThread(*timer);
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return timer->Worker().Finished(); }));
    EXPECT_FALSE(timer->Worker().Running());
    EXPECT_TRUE(ThreadEndsWithin(thread, 5000));

    timer->SetEnabled(false);
    timer->SetEnabled(true);
    PumpFor(200);
    EXPECT_EQ(calls.load(), 1);

    const auto start = Clock::now();
    timer.reset();
    EXPECT_LT(MsSince(start), 500);
}

// ---- the end ----

struct TDestroyCase {
    const char* name;
    int intervalMs;
};

class ThreadTimerDestroyTest : public ThreadTimerTest, public testing::WithParamInterface<TDestroyCase> {};

TEST_P(ThreadTimerDestroyTest, DestroyingAnEnabledTimerEndsItsWorkerPromptly)
{
    std::atomic<int> calls{0};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(GetParam().intervalMs);
    timer->SetOnTimer([&](win::TComponent*) { ++calls; });
    win::TKernelHandle thread = OpenWorkerThread(*timer);
    timer->SetEnabled(true);
    // Destroyed between ticks, or well inside a long wait.
    if (GetParam().intervalMs < 100)
        ASSERT_TRUE(WaitUntil([&] { return calls.load() >= 2; }));
    else
        ASSERT_TRUE(WaitUntil([&] { return timer->Worker().Running(); }));

    const auto start = Clock::now();
    timer.reset();
    const long long elapsed = MsSince(start);
    RecordProperty("destroy_ms", std::to_string(elapsed));
    EXPECT_LT(elapsed, 500);
    EXPECT_TRUE(ThreadEndsWithin(thread, 2000));
}

INSTANTIATE_TEST_SUITE_P(Intervals, ThreadTimerDestroyTest,
                         testing::Values(TDestroyCase{"Short", 20}, TDestroyCase{"InsideLongWait", 5000}),
                         [](const testing::TestParamInfo<TDestroyCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ThreadTimerTest, DestroyingDuringADirectTickWaitsForIt)
{
    // Like the controller's handler, the tick needs this thread's answer:
    // it sends a message to a window of this thread. The destructor has to
    // answer it while it waits.
    auto window = win::MakeUnowned<TWindowOwner>();
    std::atomic<int> calls{0};
    std::atomic<bool> entered{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> left{false};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetOnTimer([&](win::TComponent*) {
        if (calls++ > 0)
            return;
        entered = true;
        // The tick's own work, under way while the timer is destroyed.
        Sleep(150);
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutW(window->WindowHandle(), WM_NULL, 0, 0, SMTO_NORMAL, 3000, &result) != 0;
        left = true;
    });
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));

    timer.reset();
    EXPECT_TRUE(left.load());
    EXPECT_TRUE(answered.load());
    PumpFor(100);
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(ThreadTimerTest, DestroyingWithASynchronisedTickPendingDoesNotWaitForIt)
{
    std::atomic<int> calls{0};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetUseSyncronize(true);
    timer->SetOnTimer([&](win::TComponent*) { ++calls; });
    win::TKernelHandle thread = OpenWorkerThread(*timer);
    timer->SetEnabled(true);
    // The worker's call is queued and its wake-up message posted to this
    // thread, which does not serve it.
    ASSERT_TRUE(WaitUntil([] { return (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0; }, 5000,
                          false));
    ASSERT_EQ(calls.load(), 0);

    const auto start = Clock::now();
    timer.reset();
    EXPECT_LT(MsSince(start), 500);
    EXPECT_TRUE(ThreadEndsWithin(thread, 2000));
    // The abandoned tick never runs, not even once messages are served.
    PumpFor(100);
    EXPECT_EQ(calls.load(), 0);
}

TEST_F(ThreadTimerTest, TimerNeverEnabledLeavesNoThreadAndNoHandle)
{
    constexpr int Timers = 10;
    // One made and gone before counting: the synchronisation window and
    // whatever else the first timer of the process sets up stay.
    {
        auto first = win::MakeUnowned<TThreadTimer>();
        win::TKernelHandle thread = OpenWorkerThread(*first);
        first.reset();
        ASSERT_TRUE(ThreadEndsWithin(thread, 2000));
    }
    const int baseline = OwnHandleCount();
    ASSERT_GT(baseline, 0);

    std::vector<win::TKernelHandle> threads;
    for (int i = 0; i < Timers; ++i) {
        auto timer = win::MakeUnowned<TThreadTimer>();
        threads.push_back(OpenWorkerThread(*timer));
        ASSERT_TRUE(threads.back());
    }
    for (const win::TKernelHandle& thread : threads)
        EXPECT_TRUE(ThreadEndsWithin(thread, 2000));
    threads.clear();
    // Fewer is the system's business (Wine's own threads open and close
    // handles too); more is a leak.
    int count = 0;
    EXPECT_TRUE(WaitUntil([&] {
        count = OwnHandleCount();
        return count <= baseline;
    })) << count << " handles, " << baseline << " before";
}

struct TOwnEndCase {
    const char* name;
    std::function<void()> end;
};

class ThreadTimerOwnEndTest : public ThreadTimerTest, public testing::WithParamInterface<TOwnEndCase> {};

TEST_P(ThreadTimerOwnEndTest, WorkerThatEndedOnItsOwnDoesNotHoldUpTheDestructor)
{
    std::atomic<int> calls{0};
    auto timer = win::MakeUnowned<TThreadTimer>();
    timer->SetInterval(20);
    timer->SetOnTimer([&](win::TComponent*) { ++calls; });
    win::TKernelHandle thread = OpenWorkerThread(*timer);
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return calls.load() >= 1; }));

    GetParam().end();
    ASSERT_TRUE(WaitUntil([&] { return timer->Worker().Finished(); }));
    EXPECT_TRUE(ThreadEndsWithin(thread, 2000));
    // Withdrawn again: the worker stays ended all the same.
    win::TApplication::CancelTerminate();
    Finalizing.store(false);
    const int atEnd = calls.load();
    PumpFor(150);
    EXPECT_EQ(calls.load(), atEnd);

    const auto start = Clock::now();
    timer.reset();
    EXPECT_LT(MsSince(start), 500);
}

INSTANTIATE_TEST_SUITE_P(Ends, ThreadTimerOwnEndTest,
                         testing::Values(TOwnEndCase{"ApplicationTerminates", [] { win::TApplication::Terminate(); }},
                                         TOwnEndCase{"ProgramEnds", [] { Finalizing.store(true); }}),
                         [](const testing::TestParamInfo<TOwnEndCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ThreadTimerTest, OwnedTimerIsDestroyedWithItsOwner)
{
    std::atomic<int> calls{0};
    auto owner = win::MakeUnowned<win::TComponent>();
    TThreadTimer* timer = win::MakeOwned<TThreadTimer>(*owner);
    timer->SetInterval(20);
    timer->SetOnTimer([&](win::TComponent*) { ++calls; });
    timer->SetEnabled(true);
    win::TKernelHandle thread = OpenWorkerThread(*timer);
    ASSERT_TRUE(WaitUntil([&] { return calls.load() >= 1; }));
    ASSERT_EQ(owner->ComponentCount(), 1);

    owner.reset();
    EXPECT_TRUE(ThreadEndsWithin(thread, 2000));
}

} // namespace
} // namespace saver
