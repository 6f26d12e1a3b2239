// TApplication: stands in for the framework's application object. For now it
// owns the hidden application window, the one that carries the program's
// taskbar presence, and the request to terminate; the main form and the
// message loop join it with the window layer.
#pragma once

#include <windows.h>

#include <atomic>

namespace saver::win {

class TApplication {
public:
    TApplication() = default;
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Registers the class and creates the hidden application window; also
    // makes this (the main) thread serve synchronised calls.
    void Initialize();

    HWND Handle() const { return handle_; }

    // Takes the application window off the taskbar.
    void HideFromTaskbar();

    // The request to terminate. There is one application per process, so the
    // flag is the process's: any thread may read it at any time, also while
    // the program ends, without reaching an application object. The message
    // loop, when it joins, ends on it.
    static void Terminate() { terminated_.store(true); }
    static bool Terminated() { return terminated_.load(); }
    // Withdraws the request, for a process that runs the application more
    // than once (the tests do).
    static void CancelTerminate() { terminated_.store(false); }

private:
    HWND handle_ = nullptr;
    static inline constinit std::atomic<bool> terminated_{false};
};

} // namespace saver::win
