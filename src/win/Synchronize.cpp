#include "win/Synchronize.h"

#include <windows.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>

namespace saver::win {

namespace {

// Static initialisation runs in the thread that starts the program.
const DWORD MainThreadId = GetCurrentThreadId();

constexpr wchar_t WindowClassName[] = L"TSyncWindow";
// The window is ours alone, so any number above WM_APP does.
constexpr UINT WakeMessage = WM_APP + 1;

enum class TCallState { Queued, Running, Done, Abandoned };

// One call on its way to the main thread. The caller and the queue share it:
// an abandoned call can still sit in the queue after its caller has gone.
struct TSyncRequest {
    explicit TSyncRequest(std::function<void()> function)
        : call(std::move(function)), done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        if (!done)
            throw std::runtime_error("no event for a synchronised call");
    }

    std::function<void()> call;
    // Queued -> Running -> Done in the main thread, or Queued -> Abandoned in
    // the caller: whoever moves it out of Queued first decides.
    std::atomic<TCallState> state{TCallState::Queued};
    // Written before state becomes Done, read after it is seen Done.
    std::exception_ptr error;
    TKernelHandle done;
};

struct TQueued {
    std::shared_ptr<TSyncRequest> request;
    TQueued* next = nullptr;
};

// The pending calls, newest first. Producers push with a compare-exchange,
// the main thread takes the whole stack with one exchange; as nothing is
// ever popped singly, a node cannot come back while a push looks at it. The
// stack owns its nodes; they are built and reclaimed through unique_ptr.
// Both globals are trivially destructible, so they stay usable while static
// objects are destroyed at exit, when a worker may still synchronise.
constinit std::atomic<TQueued*> pending{nullptr};
constinit std::atomic<HWND> wakeWindow{nullptr};

LRESULT CALLBACK WakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WakeMessage) {
        CheckSynchronize();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Enqueue(std::shared_ptr<TSyncRequest> request)
{
    HWND window = wakeWindow.load();
    if (!window)
        throw std::runtime_error("the main thread serves no synchronised calls");
    auto node = std::make_unique<TQueued>();
    node->request = std::move(request);
    node->next = pending.load();
    while (!pending.compare_exchange_weak(node->next, node.get())) {
    }
    node.release();
    // Should the post fail (a full queue), the call waits for the next
    // wake-up or CheckSynchronize.
    PostMessageW(window, WakeMessage, 0, 0);
}

void Run(TSyncRequest& request)
{
    try {
        request.call();
    } catch (...) {
        request.error = std::current_exception();
    }
    request.state.store(TCallState::Done);
    SetEvent(request.done.Get());
}

} // namespace

bool InitializeSynchronize()
{
    if (wakeWindow.load())
        return true;
    if (!IsMainThread())
        return false;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WakeWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = WindowClassName;
    RegisterClassW(&windowClass);
    // A message-only window: never shown, never enumerated, no broadcasts.
    // It lives as long as the main thread.
    HWND window = CreateWindowExW(0, WindowClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    wakeWindow.store(window);
    return window != nullptr;
}

bool IsMainThread() { return GetCurrentThreadId() == MainThreadId; }

bool CheckSynchronize()
{
    if (!IsMainThread())
        return false;
    // Taken newest first; turned round so that calls run in queue order.
    TQueued* ordered = nullptr;
    for (TQueued* taken = pending.exchange(nullptr); taken;) {
        TQueued* next = taken->next;
        taken->next = ordered;
        ordered = taken;
        taken = next;
    }
    bool ran = false;
    while (ordered) {
        std::unique_ptr<TQueued> entry(ordered);
        ordered = entry->next;
        TCallState expected = TCallState::Queued;
        if (!entry->request->state.compare_exchange_strong(expected, TCallState::Running))
            continue;
        Run(*entry->request);
        ran = true;
    }
    return ran;
}

TSyncChannel::TSyncChannel() : abandonEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!abandonEvent_)
        throw std::runtime_error("no event for a synchronisation channel");
}

bool TSyncChannel::Synchronize(std::function<void()> call)
{
    if (abandoned_.load())
        return false;
    if (IsMainThread()) {
        call();
        return true;
    }
    auto request = std::make_shared<TSyncRequest>(std::move(call));
    Enqueue(request);
    HANDLE handles[] = {request->done.Get(), abandonEvent_.Get()};
    // With both signalled the wait reports the first, the finished call.
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
        TCallState expected = TCallState::Queued;
        if (request->state.compare_exchange_strong(expected, TCallState::Abandoned))
            return false;
        // Too late to abandon: the main thread runs it now; it is waited for
        // as it may use what the caller holds.
    }
    while (request->state.load() != TCallState::Done)
        WaitForSingleObject(request->done.Get(), INFINITE);
    if (request->error)
        std::rethrow_exception(request->error);
    return true;
}

void TSyncChannel::Abandon()
{
    abandoned_.store(true);
    SetEvent(abandonEvent_.Get());
}

void Synchronize(std::function<void()> call)
{
    TSyncChannel channel;
    channel.Synchronize(std::move(call));
}

} // namespace saver::win
