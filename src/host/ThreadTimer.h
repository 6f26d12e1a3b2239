// TThreadTimer: a non-visual component whose ticks come from a worker thread
// of its own (TThreadTimerExec) instead of window timer messages. A tick calls
// OnTimer in the worker thread (the default), or in the main thread with the
// worker waiting (UseSyncronize), or posts WM_USER + MessageNo to the window
// of the timer's owner (UseMessage). The worker waits in 10 ms sleeps against
// the local clock; each wait is Interval long and starts after the previous
// tick has returned.
//
// Lifetime. The worker's state is shared between the timer and the worker
// thread: the timer holds one reference, the thread the other (handed to it
// at creation and dropped as the thread function's very last step). Whichever
// side ends last frees the state and closes the thread handle, so the worker
// frees itself when it outlives its timer, and the timer can always look at
// the worker's flags, even after the thread has ended on its own. The worker
// reaches the timer itself (Interval, UseSyncronize, Tick) only inside its
// loop, and the destructor returns only once the worker is out of its loop
// for good or has never entered it:
//   - the worker sets Running before it tests the termination request on
//     entering the loop, and the destructor requests termination before it
//     reads Running; with sequentially consistent atomics at least one of the
//     two sees the other's write, so a worker the destructor saw as not
//     running will see the request and never enter the loop;
//   - once the loop has been left (Finished), it is never entered again.
//
// Atomics, no lock. Every field that one thread writes and the other reads is
// a std::atomic, sequentially consistent. OnTimer is an atomic pointer to an
// immutable handler: a tick loads it and calls through it, a writer publishes
// a new one. A replaced handler is not freed while the timer lives, as a tick
// in the other thread may still be calling it; the timer frees all of them
// when it is destroyed, when no tick can run any more. (A handler is bound
// once and detached once in practice, so little is kept.) Busy is taken by an
// exchange before a tick looks at ShuttingDown and OnTimer, and the destructor
// detaches OnTimer and sets ShuttingDown before it reads Busy: a tick either
// is seen Busy and waited for, or it sees ShuttingDown and does nothing.
//
// Ends of the worker other than destruction: when the application is asked
// to terminate, at program end (Finalizing) or when OnTimer throws, the worker
// leaves its loop, its thread ends and drops its reference; the destructor
// then finds it Finished and neither signals nor waits. A synchronised tick
// still waiting for the main thread when the destructor stops the worker is
// abandoned: the worker is released without it having run. A worker never
// started (the timer never enabled) is resumed by the destructor after the
// termination request; it ends without entering the loop and frees itself.
//
// The timer must not be destroyed from inside its own OnTimer: the destructor
// would wait for the very tick it runs in.
#pragma once

#include "win/Component.h"
#include "win/Handle.h"
#include "win/Synchronize.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>

namespace saver {

enum TThreadPriority : std::uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The fixed table between the levels and the Win32 thread priorities
// (-15, -2, -1, 0, 1, 2, 15); a value not in it reads as tpNormal.
int ThreadPriorityToWin32(TThreadPriority priority);
TThreadPriority ThreadPriorityFromWin32(int value);

// The thread error: the worker thread could not be created, started, or its
// priority set or read.
class EThread : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// False while the program runs; set when the program's static objects are
// destroyed at its end. Every worker ends its loop when it sees it.
extern std::atomic<bool> Finalizing;

class TThreadTimer;

// The worker of one timer. Created by the timer, suspended; see the lifetime
// notes above.
class TThreadTimerExec {
    struct TPassKey {
        explicit TPassKey() = default;
    };

public:
    // Creates the worker and its thread, suspended. Throws EThread.
    static std::shared_ptr<TThreadTimerExec> Create(TThreadTimer& timer);
    TThreadTimerExec(TPassKey, TThreadTimer& timer);
    TThreadTimerExec(const TThreadTimerExec&) = delete;
    TThreadTimerExec& operator=(const TThreadTimerExec&) = delete;

    DWORD ThreadId() const { return threadId_; }
    // Inside its loop.
    bool Running() const { return running_.load(); }
    // Has left its loop, normally or by an exception; its thread ends.
    bool Finished() const { return finished_.load(); }
    // Not resumed yet.
    bool Suspended() const { return suspended_.load(); }
    // The copy of the timer's Enabled that the worker reads.
    bool Active() const { return active_.load(); }

private:
    friend class TThreadTimer;

    static DWORD WINAPI ThreadProc(void* parameter);
    void Execute();
    // Throws EThread when the system refuses.
    void Resume();
    // The destructor's part: request termination and wait until the worker
    // is out of its loop, unless it has finished already.
    void Stop() noexcept;
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);

    TThreadTimer* const timer_;
    std::atomic<bool> active_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{true};
    win::TSyncChannel sync_;
    win::TKernelHandle thread_;
    DWORD threadId_ = 0;
    // The thread's reference until the thread takes it over.
    std::shared_ptr<TThreadTimerExec> self_;
};

class TThreadTimer : public win::TComponent {
public:
    // Creates the worker thread, suspended. The owner (may be null) destroys
    // the timer; with UseMessage its window receives the messages.
    explicit TThreadTimer(win::TComponent* owner);
    ~TThreadTimer() override;

    // A tick calls OnTimer in the main thread, the worker waiting for it.
    bool UseSyncronize() const { return useSyncronize_.load(); }
    void SetUseSyncronize(bool value) { useSyncronize_.store(value); }
    // A tick posts WM_USER + MessageNo, both parameters 0, to the owner's
    // window instead of calling OnTimer.
    bool UseMessage() const { return useMessage_.load(); }
    void SetUseMessage(bool value) { useMessage_.store(value); }
    // The first enabling starts the worker (EThread if the system refuses);
    // later changes only switch its ticks on and off.
    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value);
    // Milliseconds between the end of a tick and the next; at least 10. A
    // change applies from the next wait on.
    int Interval() const { return interval_.load(); }
    void SetInterval(int value);
    // The user's; the timer never reads it.
    int Data() const { return data_.load(); }
    void SetData(int value) { data_.store(value); }
    int MessageNo() const { return messageNo_.load(); }
    void SetMessageNo(int value) { messageNo_.store(value); }
    // Read from and written to the worker thread itself. Throw EThread.
    TThreadPriority Priority() const { return worker_->Priority(); }
    void SetPriority(TThreadPriority value) { worker_->SetPriority(value); }
    win::TNotifyEvent OnTimer() const;
    void SetOnTimer(win::TNotifyEvent handler) { onTimer_.Set(std::move(handler)); }

    const TThreadTimerExec& Worker() const { return *worker_; }

private:
    friend class TThreadTimerExec;

    // OnTimer: a lock-free handover of the handler between the threads.
    class TEventSlot {
    public:
        TEventSlot() = default;
        ~TEventSlot();
        TEventSlot(const TEventSlot&) = delete;
        TEventSlot& operator=(const TEventSlot&) = delete;

        // An empty handler unassigns.
        void Set(win::TNotifyEvent handler);
        // Null when unassigned; valid as long as the slot.
        const win::TNotifyEvent* Get() const;

    private:
        struct TNode;
        std::atomic<TNode*> current_{nullptr};
        // Every handler ever set, newest first, freed with the slot.
        std::atomic<TNode*> kept_{nullptr};
    };

    // Delivers one tick; called by the worker, in its thread or through the
    // synchronisation.
    void Tick();

    std::atomic<bool> useSyncronize_{false};
    std::atomic<bool> useMessage_{false};
    std::atomic<bool> enabled_{false};
    std::atomic<int> interval_{100};
    std::atomic<int> data_{0};
    std::atomic<int> messageNo_{768};
    TEventSlot onTimer_;
    std::atomic<win::TComponent*> ownerControl_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> shuttingDown_{false};
    std::shared_ptr<TThreadTimerExec> worker_;
};

} // namespace saver
