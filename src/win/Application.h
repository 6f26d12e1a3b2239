// TApplication: stands in for the framework's application object. For now it
// owns the hidden application window, the one that carries the program's
// taskbar presence; the main form and the message loop join it with the
// window layer.
#pragma once

#include <windows.h>

namespace saver::win {

class TApplication {
public:
    TApplication() = default;
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Registers the class and creates the hidden application window.
    void Initialize();

    HWND Handle() const { return handle_; }

    // Takes the application window off the taskbar.
    void HideFromTaskbar();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
};

} // namespace saver::win
