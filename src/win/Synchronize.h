// Running a call in the main thread while the calling thread waits for it:
// stands in for the framework's thread synchronisation.
//
// A worker queues its call and posts a wake-up message to a hidden
// message-only window of the main thread; the main thread runs the queued
// calls when it dispatches that message. So whatever pumps the main thread's
// messages serves them: the message loop, ProcessMessages, the loop of a modal
// dialog. CheckSynchronize runs them without dispatching anything else.
//
// A call either runs completely in the main thread, its caller waiting until
// it has returned, or never runs: the channel it was made through can be
// abandoned, which releases the waiting caller at once. That is for a main
// thread that waits for the worker without serving its calls. What the call
// throws is caught in the main thread and thrown again in the caller.
//
// The queue is a lock-free stack of pending calls; no lock is taken.
#pragma once

#include "win/Handle.h"

#include <atomic>
#include <functional>

namespace saver::win {

// The main thread is the one that started the program. This creates its
// wake-up window; called in any other thread it does nothing and returns
// false. Later calls do nothing. Returns whether the window exists.
bool InitializeSynchronize();

bool IsMainThread();

// Runs, in the main thread, the calls queued until now, in the order they
// were queued. Returns whether any ran. Does nothing in other threads.
bool CheckSynchronize();

// The way one worker synchronises, and the handle by which its calls can be
// abandoned. Used by one calling thread at a time; Abandon from any thread.
class TSyncChannel {
public:
    // Throws std::runtime_error when the system gives no event.
    TSyncChannel();
    TSyncChannel(const TSyncChannel&) = delete;
    TSyncChannel& operator=(const TSyncChannel&) = delete;

    // Runs call in the main thread and waits until it has run there; in the
    // main thread itself it runs call at once. Returns true once it has run,
    // throwing again what it threw; false, without it ever running, when the
    // channel is abandoned before the main thread takes it up. Throws
    // std::runtime_error when the main thread has no wake-up window.
    bool Synchronize(std::function<void()> call);

    // Releases a caller waiting in Synchronize (its call will not run) and
    // makes every later Synchronize return false at once. For good.
    void Abandon();
    bool Abandoned() const { return abandoned_.load(); }

private:
    std::atomic<bool> abandoned_{false};
    TKernelHandle abandonEvent_;
};

// Synchronize through a channel of its own, which is never abandoned.
void Synchronize(std::function<void()> call);

} // namespace saver::win
