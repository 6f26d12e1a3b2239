#include "host/ThreadTimer.h"

#include "win/Application.h"
#include "win/MessagePump.h"

#include <array>
#include <utility>

namespace saver {

constinit std::atomic<bool> Finalizing{false};

namespace {

// The finalisation of this unit: its destructor runs when the program's
// static objects are destroyed at the end.
struct TFinalization {
    TFinalization() = default;
    TFinalization(const TFinalization&) = delete;
    TFinalization& operator=(const TFinalization&) = delete;
    ~TFinalization() { Finalizing.store(true); }
} finalization;

constexpr DWORD WaitStepMs = 10;
constexpr DWORD StopStepMs = 50;
constexpr int SmallestInterval = 10;
constexpr DWORD ResumeStepMs = 10;

// Indexed by TThreadPriority.
constexpr std::array<int, 7> Win32Priorities{
    THREAD_PRIORITY_IDLE,         // -15
    THREAD_PRIORITY_LOWEST,       // -2
    THREAD_PRIORITY_BELOW_NORMAL, // -1
    THREAD_PRIORITY_NORMAL,       // 0
    THREAD_PRIORITY_ABOVE_NORMAL, // 1
    THREAD_PRIORITY_HIGHEST,      // 2
    THREAD_PRIORITY_TIME_CRITICAL // 15
};

// Sets a flag for a scope and clears it on every way out.
class TFlagScope {
public:
    explicit TFlagScope(std::atomic<bool>& flag) : flag_(flag) { flag_.store(true); }
    ~TFlagScope() { flag_.store(false); }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    std::atomic<bool>& flag_;
};

// Clears a flag that was set elsewhere, on every way out of a scope.
class TFlagRelease {
public:
    explicit TFlagRelease(std::atomic<bool>& flag) : flag_(flag) {}
    ~TFlagRelease() { flag_.store(false); }
    TFlagRelease(const TFlagRelease&) = delete;
    TFlagRelease& operator=(const TFlagRelease&) = delete;

private:
    std::atomic<bool>& flag_;
};

// The local date and time in milliseconds since 1601.
std::int64_t LocalMilliseconds()
{
    SYSTEMTIME local;
    GetLocalTime(&local);
    FILETIME file;
    SystemTimeToFileTime(&local, &file);
    ULARGE_INTEGER value;
    value.LowPart = file.dwLowDateTime;
    value.HighPart = file.dwHighDateTime;
    return static_cast<std::int64_t>(value.QuadPart / 10000);
}

} // namespace

int ThreadPriorityToWin32(TThreadPriority priority) { return Win32Priorities.at(priority); }

TThreadPriority ThreadPriorityFromWin32(int value)
{
    for (std::size_t level = 0; level < Win32Priorities.size(); ++level) {
        if (Win32Priorities[level] == value)
            return static_cast<TThreadPriority>(level);
    }
    return tpNormal;
}

// ---- TThreadTimerExec ----

TThreadTimerExec::TThreadTimerExec(TPassKey, TThreadTimer& timer) : timer_(&timer) {}

std::shared_ptr<TThreadTimerExec> TThreadTimerExec::Create(TThreadTimer& timer)
{
    auto worker = std::make_shared<TThreadTimerExec>(TPassKey{}, timer);
    worker->self_ = worker;
    DWORD id = 0;
    worker->thread_.Reset(CreateThread(nullptr, 0, ThreadProc, worker.get(), CREATE_SUSPENDED, &id));
    if (!worker->thread_) {
        worker->self_.reset();
        throw EThread("the timer's worker thread could not be created");
    }
    worker->threadId_ = id;
    return worker;
}

DWORD WINAPI TThreadTimerExec::ThreadProc(void* parameter)
{
    // From here on this thread holds its own reference; it is the last thing
    // the thread lets go of.
    std::shared_ptr<TThreadTimerExec> self = std::move(static_cast<TThreadTimerExec*>(parameter)->self_);
    try {
        self->Execute();
    } catch (...) {
        // An exception from OnTimer ends the worker, and nothing is reported.
    }
    self->finished_.store(true);
    return 0;
}

void TThreadTimerExec::Execute()
{
    // Set before the first test of the termination request: see the header.
    TFlagScope running(running_);
    while (!terminated_.load() && !Finalizing.load() && !win::TApplication::Terminated()) {
        const std::int64_t deadline = LocalMilliseconds() + timer_->Interval();
        do {
            Sleep(WaitStepMs);
        } while (!terminated_.load() && LocalMilliseconds() <= deadline);
        if (terminated_.load() || !active_.load())
            continue;
        TThreadTimer* timer = timer_;
        if (timer->UseSyncronize())
            sync_.Synchronize([timer] { timer->Tick(); });
        else
            timer->Tick();
    }
}

void TThreadTimerExec::Resume()
{
    DWORD previousCount = ResumeThread(thread_.Get());
    if (previousCount == static_cast<DWORD>(-1))
        throw EThread("the timer's worker thread could not be resumed");
    if (previousCount <= 1)
        suspended_.store(false);
}

void TThreadTimerExec::Stop() noexcept
{
    if (finished_.load())
        return;
    terminated_.store(true);
    // The destructor does not serve synchronised calls from here on; a tick
    // waiting for the main thread would keep the worker in its loop forever.
    sync_.Abandon();
    while (running_.load())
        Sleep(StopStepMs);
    // A worker that never ran: started now, it sees the request before its
    // loop, ends and frees itself.
    if (suspended_.load() && ResumeThread(thread_.Get()) != static_cast<DWORD>(-1))
        suspended_.store(false);
}

TThreadPriority TThreadTimerExec::Priority() const
{
    int value = GetThreadPriority(thread_.Get());
    if (value == THREAD_PRIORITY_ERROR_RETURN)
        throw EThread("the priority of the timer's worker thread could not be read");
    return ThreadPriorityFromWin32(value);
}

void TThreadTimerExec::SetPriority(TThreadPriority priority)
{
    if (!SetThreadPriority(thread_.Get(), ThreadPriorityToWin32(priority)))
        throw EThread("the priority of the timer's worker thread could not be set");
}

// ---- TThreadTimer::TEventSlot ----

struct TThreadTimer::TEventSlot::TNode {
    win::TNotifyEvent handler;
    TNode* next = nullptr;
};

TThreadTimer::TEventSlot::~TEventSlot()
{
    for (TNode* node = kept_.load(); node;) {
        std::unique_ptr<TNode> owned(node);
        node = owned->next;
    }
}

void TThreadTimer::TEventSlot::Set(win::TNotifyEvent handler)
{
    if (!handler) {
        current_.store(nullptr);
        return;
    }
    auto node = std::make_unique<TNode>();
    node->handler = std::move(handler);
    node->next = kept_.load();
    while (!kept_.compare_exchange_weak(node->next, node.get())) {
    }
    // Owned by kept_ from here on.
    TNode* published = node.release();
    current_.store(published);
}

const win::TNotifyEvent* TThreadTimer::TEventSlot::Get() const
{
    const TNode* node = current_.load();
    return node ? &node->handler : nullptr;
}

// ---- TThreadTimer ----

TThreadTimer::TThreadTimer(win::TComponent* owner) : win::TComponent(owner), ownerControl_(owner)
{
    // The constructor runs in the main thread, which is to serve the
    // synchronised ticks.
    win::InitializeSynchronize();
    worker_ = TThreadTimerExec::Create(*this);
}

TThreadTimer::~TThreadTimer()
{
    // The framework marks a component as being destroyed before its
    // destructor runs; ticks from now on see it.
    Destroying();
    onTimer_.Set({});
    shuttingDown_.store(true);
    // Waits out a tick in the worker thread, answering this thread's messages
    // meanwhile: the tick may be waiting for one of them.
    while (busy_.load()) {
        win::ProcessMessages();
        if (busy_.load())
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    worker_->Stop();
    ownerControl_.store(nullptr);
}

void TThreadTimer::SetEnabled(bool value)
{
    if (enabled_.load() == value)
        return;
    enabled_.store(value);
    worker_->active_.store(value);
    while (worker_->Suspended()) {
        worker_->Resume();
        Sleep(ResumeStepMs);
    }
}

void TThreadTimer::SetInterval(int value)
{
    if (value < SmallestInterval)
        value = SmallestInterval;
    if (interval_.load() != value)
        interval_.store(value);
}

win::TNotifyEvent TThreadTimer::OnTimer() const
{
    const win::TNotifyEvent* handler = onTimer_.Get();
    return handler ? *handler : win::TNotifyEvent{};
}

void TThreadTimer::Tick()
{
    // Busy first, then the other conditions: the destructor relies on this
    // order (see the header).
    if (busy_.exchange(true))
        return;
    TFlagRelease busy(busy_);
    win::TComponent* owner = ownerControl_.load();
    const bool useMessage = useMessage_.load();
    const win::TComponentState state = ComponentState();
    if (shuttingDown_.load() || (useMessage && !owner) || state.Contains(win::csDesigning) ||
        state.Contains(win::csDestroying))
        return;
    const UINT message = WM_USER + static_cast<UINT>(messageNo_.load());
    if (useMessage) {
        HWND window = owner->WindowHandle();
        if (!window)
            return;
        // Sees only the queue of the thread running the tick: in the worker
        // thread nothing is ever found and every tick posts.
        MSG queued;
        if (!PeekMessageW(&queued, window, message, message, PM_NOREMOVE) || queued.message != message)
            PostMessageW(window, message, 0, 0);
        return;
    }
    if (const win::TNotifyEvent* handler = onTimer_.Get())
        (*handler)(this);
}

} // namespace saver
