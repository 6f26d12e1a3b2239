#include "win/Application.h"

#include "win/Synchronize.h"

namespace saver::win {

namespace {

constexpr wchar_t ApplicationClassName[] = L"TApplication";

} // namespace

TApplication::~TApplication()
{
    if (handle_)
        DestroyWindow(handle_);
}

void TApplication::Initialize()
{
    InitializeSynchronize();
    if (handle_)
        return;
    WNDCLASSW windowClass{};
    // The window only carries the taskbar presence; the system's own procedure serves it.
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = ApplicationClassName;
    RegisterClassW(&windowClass);
    // A zero-sized popup that is never shown, like the framework's own.
    handle_ = CreateWindowExW(0, ApplicationClassName, L"",
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0,
                              0, nullptr, nullptr, windowClass.hInstance, nullptr);
}

void TApplication::HideFromTaskbar()
{
    if (!handle_)
        return;
    LONG_PTR style = GetWindowLongPtrW(handle_, GWL_EXSTYLE);
    SetWindowLongPtrW(handle_, GWL_EXSTYLE, style | WS_EX_TOOLWINDOW);
}

} // namespace saver::win
