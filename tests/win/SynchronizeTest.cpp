// Synchronisation with the main thread: a worker's call runs in the main
// thread, only once the main thread pumps its messages (any pump will do),
// with the worker waiting until it has returned; what it throws reaches the
// worker; an abandoned channel releases its waiting worker and the call never
// runs, however much the main thread pumps afterwards.
#include "win/Synchronize.h"

#include "win/MessagePump.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace saver::win {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Bounded wait for done(), serving this thread's messages meanwhile unless
// pump is false.
bool WaitUntil(const std::function<bool()>& done, long long timeoutMs, bool pump = true)
{
    const auto start = Clock::now();
    while (!done()) {
        if (MsSince(start) > timeoutMs)
            return done();
        if (pump) {
            ProcessMessages();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        } else {
            Sleep(5);
        }
    }
    return true;
}

// Whether a message is posted to this thread's queue (the wake-up message),
// without taking it.
bool PostedMessageWaiting() { return (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0; }

class SynchronizeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InitializeSynchronize());
        ASSERT_TRUE(IsMainThread());
        ProcessMessages();
    }
};

TEST_F(SynchronizeTest, CallRunsInTheMainThreadWhileTheWorkerWaits)
{
    TSyncChannel channel;
    std::atomic<bool> workerReturned{false};
    std::atomic<bool> returnedBeforeCall{true};
    DWORD callThread = 0;
    bool result = false;
    std::thread worker([&] {
        result = channel.Synchronize([&] {
            callThread = GetCurrentThreadId();
            returnedBeforeCall = workerReturned.load();
        });
        workerReturned = true;
    });

    // Not served before the main thread looks at its messages.
    ASSERT_TRUE(WaitUntil(PostedMessageWaiting, 5000, false));
    EXPECT_FALSE(workerReturned.load());

    ASSERT_TRUE(WaitUntil([&] { return workerReturned.load(); }, 5000));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(callThread, GetCurrentThreadId());
    EXPECT_FALSE(returnedBeforeCall.load());
}

struct TPumpCase {
    const char* name;
    std::function<void()> pumpOnce;
};

class SynchronizePumpTest : public SynchronizeTest, public testing::WithParamInterface<TPumpCase> {};

TEST_P(SynchronizePumpTest, AnyPumpServesTheCall)
{
    std::atomic<bool> ran{false};
    std::atomic<bool> workerReturned{false};
    std::thread worker([&] {
        Synchronize([&] { ran = true; });
        workerReturned = true;
    });
    ASSERT_TRUE(WaitUntil(PostedMessageWaiting, 5000, false));
    const auto start = Clock::now();
    while (!workerReturned.load() && MsSince(start) < 5000)
        GetParam().pumpOnce();
    EXPECT_TRUE(workerReturned.load());
    // Should that pump not have served it, this does, so that the worker can
    // be joined.
    WaitUntil([&] { return workerReturned.load(); }, 5000);
    worker.join();
    EXPECT_TRUE(ran.load());
}

INSTANTIATE_TEST_SUITE_P(
    Pumps, SynchronizePumpTest,
    testing::Values(TPumpCase{"ProcessMessages", [] { ProcessMessages(); }},
                    TPumpCase{"CheckSynchronize", [] { CheckSynchronize(); }},
                    // A plain message loop: get, translate, dispatch (getting only
                    // what is there, so that a failing case cannot block).
                    TPumpCase{"MessageLoop",
                              [] {
                                  MSG message;
                                  if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) &&
                                      GetMessageW(&message, nullptr, 0, 0) > 0) {
                                      TranslateMessage(&message);
                                      DispatchMessageW(&message);
                                  } else {
                                      Sleep(5);
                                  }
                              }}),
    [](const testing::TestParamInfo<TPumpCase>& info) { return std::string(info.param.name); });

TEST_F(SynchronizeTest, ExceptionOfTheCallIsThrownInTheWorker)
{
    std::string caught;
    std::atomic<bool> workerReturned{false};
    std::thread worker([&] {
        try {
            Synchronize([] { throw std::runtime_error("thrown in the main thread"); });
            caught = "nothing";
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
        workerReturned = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return workerReturned.load(); }, 5000));
    worker.join();
    EXPECT_EQ(caught, "thrown in the main thread");
}

TEST_F(SynchronizeTest, InTheMainThreadTheCallRunsAtOnce)
{
    TSyncChannel channel;
    bool ran = false;
    EXPECT_TRUE(channel.Synchronize([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_THROW(channel.Synchronize([] { throw std::logic_error("direct"); }), std::logic_error);
    EXPECT_FALSE(CheckSynchronize());
}

TEST_F(SynchronizeTest, AbandonReleasesTheWaitingWorkerAndTheCallNeverRuns)
{
    TSyncChannel channel;
    std::atomic<bool> ran{false};
    std::atomic<bool> workerReturned{false};
    std::atomic<bool> result{true};
    std::thread worker([&] {
        result = channel.Synchronize([&] { ran = true; });
        workerReturned = true;
    });
    ASSERT_TRUE(WaitUntil(PostedMessageWaiting, 5000, false));

    channel.Abandon();

    // Released without the main thread doing anything.
    const bool released = WaitUntil([&] { return workerReturned.load(); }, 5000, false);
    EXPECT_TRUE(released);
    if (!released)
        WaitUntil([&] { return workerReturned.load(); }, 5000);
    worker.join();
    EXPECT_FALSE(result.load());
    // The wake-up message is still there; serving it runs nothing.
    EXPECT_FALSE(CheckSynchronize());
    ProcessMessages();
    EXPECT_FALSE(ran.load());

    // Later calls return at once, queueing nothing.
    std::thread later([&] { result = channel.Synchronize([&] { ran = true; }); });
    later.join();
    EXPECT_FALSE(result.load());
    EXPECT_FALSE(CheckSynchronize());
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(channel.Synchronize([&] { ran = true; }));
    EXPECT_FALSE(ran.load());
}

TEST_F(SynchronizeTest, AbandonAfterTheCallRanChangesNothingForIt)
{
    TSyncChannel channel;
    std::atomic<bool> workerReturned{false};
    bool result = false;
    int runs = 0;
    std::thread worker([&] {
        result = channel.Synchronize([&] {
            ++runs;
            // Abandoned while it runs: the worker still waits for its end.
            channel.Abandon();
        });
        workerReturned = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return workerReturned.load(); }, 5000));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(channel.Abandoned());
}

TEST_F(SynchronizeTest, CallsOfSeveralWorkersAllRunInTheirOrder)
{
    constexpr int Workers = 4;
    constexpr int CallsEach = 25;
    // Touched by the calls only, hence only in the main thread.
    std::vector<std::vector<int>> seen(Workers);
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < Workers; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < CallsEach; ++i)
                Synchronize([&, w, i] { seen[w].push_back(i); });
            ++finished;
        });
    }
    ASSERT_TRUE(WaitUntil([&] { return finished.load() == Workers; }, 20000));
    for (std::thread& thread : threads)
        thread.join();
    std::vector<int> expected;
    for (int i = 0; i < CallsEach; ++i)
        expected.push_back(i);
    for (int w = 0; w < Workers; ++w)
        EXPECT_EQ(seen[w], expected) << "worker " << w;
}

} // namespace
} // namespace saver::win
