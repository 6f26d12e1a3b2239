// winprobe: looks at the window station from inside Wine for the end-to-end
// tests and prints what it sees as JSON lines, one object a line.
//
//   winprobe windows [--pid N] [--image NAME]   windows (top-level ones, then their children)
//   winprobe processes [--image NAME]           the running processes
//   winprobe monitors                           the monitors and the virtual screen
//   winprobe watch --stop FILE [--pid N] [--image NAME] [--ms N]
//       records windows being created and destroyed until FILE exists (or
//       N ms passed); prints {"event":"ready"} once the hook is in. Every
//       event names the thread that raised it; the window's details come
//       along only if the window still exists when the event is read. (Wine 8
//       raises no show and hide events: whether a window became visible is
//       for the X server to tell.)
//   winprobe idle --stop FILE
//       waits until FILE exists. The test session keeps one running so that
//       the desktop process lives as long as the session, not as long as
//       whichever test happened to start it.
//   winprobe window --rect L,T,R,B [--title TEXT] --stop FILE
//       shows a topmost popup filled with pure red at that place until FILE
//       exists and prints the mouse and key input it gets: the harness's own
//       check that window queries, input and screenshots work.
//
// --image compares the file name of the process's image, without case.
#include "win/Handle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using saver::win::TKernelHandle;
using saver::win::TUniqueHandle;

// A failed snapshot is INVALID_HANDLE_VALUE, as with files.
using TSnapshotHandle = saver::win::TFileHandle;

HBRUSH NullBrush() { return nullptr; }
void DeleteBrush(HBRUSH brush) { DeleteObject(brush); }
using TBrush = TUniqueHandle<HBRUSH, DeleteBrush, NullBrush>;

HWINEVENTHOOK NullEventHook() { return nullptr; }
void Unhook(HWINEVENTHOOK hook) { UnhookWinEvent(hook); }
using TEventHook = TUniqueHandle<HWINEVENTHOOK, Unhook, NullEventHook>;

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::wstring Wide(const char* text)
{
    int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring result(static_cast<size_t>(size > 0 ? size - 1 : 0), L'\0');
    if (size > 1)
        MultiByteToWideChar(CP_ACP, 0, text, -1, result.data(), size);
    return result;
}

std::string JsonString(const std::wstring& text)
{
    std::string out = "\"";
    for (unsigned char c : Utf8(text)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

// One JSON object, built field by field and printed as one line.
class TJsonLine {
public:
    TJsonLine& Raw(const char* name, const std::string& value)
    {
        text_ += text_.empty() ? "{\"" : ",\"";
        text_ += name;
        text_ += "\":";
        text_ += value;
        return *this;
    }
    TJsonLine& Text(const char* name, const std::wstring& value) { return Raw(name, JsonString(value)); }
    TJsonLine& Number(const char* name, unsigned long long value) { return Raw(name, std::to_string(value)); }
    TJsonLine& Signed(const char* name, long long value) { return Raw(name, std::to_string(value)); }
    TJsonLine& Flag(const char* name, bool value) { return Raw(name, value ? "true" : "false"); }
    TJsonLine& Window(const char* name, HWND value)
    {
        return Number(name, reinterpret_cast<ULONG_PTR>(value));
    }
    TJsonLine& Rect(const char* name, const RECT& r)
    {
        std::string value = "[";
        for (LONG part : {r.left, r.top, r.right, r.bottom}) {
            if (value.size() > 1)
                value += ',';
            value += std::to_string(part);
        }
        value += ']';
        return Raw(name, value);
    }

    void Print() const
    {
        std::fputs(text_.c_str(), stdout);
        std::fputs(text_.empty() ? "{}\n" : "}\n", stdout);
        std::fflush(stdout);
    }

private:
    std::string text_;
};

std::wstring FileNameOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ImagePath(DWORD pid)
{
    TKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return {};
    wchar_t path[MAX_PATH * 4];
    DWORD size = ARRAYSIZE(path);
    if (!QueryFullProcessImageNameW(process.Get(), 0, path, &size))
        return {};
    return std::wstring(path, size);
}

struct TFilter {
    std::optional<DWORD> pid;
    std::wstring image;

    // Image names are looked up once per process: a watch sees many events.
    bool Matches(DWORD processId)
    {
        if (pid && *pid != processId)
            return false;
        if (image.empty())
            return true;
        auto known = imageMatches_.find(processId);
        if (known == imageMatches_.end())
            known = imageMatches_
                        .emplace(processId, _wcsicmp(FileNameOf(ImagePath(processId)).c_str(), image.c_str()) == 0)
                        .first;
        return known->second;
    }

private:
    std::map<DWORD, bool> imageMatches_;
};

std::wstring ClassOf(HWND window)
{
    wchar_t name[256];
    int length = GetClassNameW(window, name, ARRAYSIZE(name));
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring TitleOf(HWND window)
{
    // Not GetWindowText: that sends WM_GETTEXT and can block on a hung window.
    wchar_t title[512];
    int length = InternalGetWindowText(window, title, ARRAYSIZE(title));
    return std::wstring(title, length > 0 ? static_cast<size_t>(length) : 0);
}

// The parent window; 0 for a top-level window (whose parent is the desktop).
HWND ParentOf(HWND window)
{
    HWND parent = GetAncestor(window, GA_PARENT);
    return parent == GetDesktopWindow() ? nullptr : parent;
}

TJsonLine& AddWindowFields(TJsonLine& line, HWND window)
{
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(window, &pid);
    RECT bounds{};
    GetWindowRect(window, &bounds);
    RECT client{};
    GetClientRect(window, &client);
    auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    return line.Window("hwnd", window)
        .Number("pid", pid)
        .Number("tid", tid)
        .Text("class", ClassOf(window))
        .Text("title", TitleOf(window))
        .Number("style", style)
        .Number("exstyle", exStyle)
        .Flag("visible", IsWindowVisible(window))
        .Flag("enabled", IsWindowEnabled(window))
        .Flag("topmost", exStyle & WS_EX_TOPMOST)
        .Window("parent", ParentOf(window))
        .Window("owner", GetWindow(window, GW_OWNER))
        .Rect("rect", bounds)
        .Rect("client", client);
}

struct TWindowList {
    TFilter* filter;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* list = reinterpret_cast<TWindowList*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (list->filter->Matches(pid))
        list->windows.push_back(window);
    return TRUE;
}

void PrintWindow(HWND window)
{
    TJsonLine line;
    AddWindowFields(line, window).Print();
}

// Every window that matches, each top-level one followed by its children. A
// window of one process can be the parent of another's: the children of a
// matching window are listed whoever they belong to, and a matching child
// whoever its top-level window belongs to.
int ListWindows(TFilter& filter)
{
    TFilter everyone;
    TWindowList topLevel{&everyone, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&topLevel));
    for (HWND window : topLevel.windows) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        bool matches = filter.Matches(pid);
        if (matches)
            PrintWindow(window);
        TWindowList children{matches ? &everyone : &filter, {}};
        EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
        for (HWND child : children.windows)
            PrintWindow(child);
    }
    return 0;
}

int ListProcesses(TFilter& filter)
{
    TSnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (!filter.Matches(entry.th32ProcessID))
            continue;
        TJsonLine()
            .Number("pid", entry.th32ProcessID)
            .Number("ppid", entry.th32ParentProcessID)
            .Text("name", entry.szExeFile)
            .Text("image", ImagePath(entry.th32ProcessID))
            .Print();
    }
    return 0;
}

BOOL CALLBACK PrintMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM)
{
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        TJsonLine()
            .Text("monitor", info.szDevice)
            .Rect("rect", info.rcMonitor)
            .Rect("work", info.rcWork)
            .Flag("primary", info.dwFlags & MONITORINFOF_PRIMARY)
            .Print();
    return TRUE;
}

int ListMonitors()
{
    EnumDisplayMonitors(nullptr, nullptr, PrintMonitor, 0);
    RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    TJsonLine().Rect("virtual", screen).Print();
    return 0;
}

// The watch's hook procedure has no context pointer, so its filter is global.
TFilter g_watchFilter;
// The process of every thread seen so far. Out-of-context events arrive
// after the fact: a short-lived process may be gone by the time its second
// window's event is read, but its first one usually finds it alive.
std::map<DWORD, DWORD> g_processOfThread;

const wchar_t* EventName(DWORD event)
{
    switch (event) {
    case EVENT_OBJECT_CREATE: return L"create";
    case EVENT_OBJECT_DESTROY: return L"destroy";
    default: return nullptr;
    }
}

// The window, if it still exists and still belongs to the thread that raised
// the event (window handles are reused).
bool IsWindowOfThread(HWND window, DWORD thread)
{
    return IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == thread;
}

DWORD ProcessOfThread(HWND window, DWORD thread)
{
    auto known = g_processOfThread.find(thread);
    if (known != g_processOfThread.end())
        return known->second;
    DWORD pid = 0;
    if (IsWindowOfThread(window, thread)) {
        GetWindowThreadProcessId(window, &pid);
    } else {
        TKernelHandle handle(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, thread));
        pid = handle ? GetProcessIdOfThread(handle.Get()) : 0;
    }
    if (pid)
        g_processOfThread.emplace(thread, pid);
    return pid;
}

// Events of threads whose process is no longer known are reported with pid 0
// whatever the filter: the thread id still tells who raised them.
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD thread, DWORD time)
{
    const wchar_t* name = EventName(event);
    if (!name || object != OBJID_WINDOW || !window)
        return;
    DWORD pid = ProcessOfThread(window, thread);
    if (pid && !g_watchFilter.Matches(pid))
        return;
    TJsonLine line;
    line.Text("event", name).Number("time", time).Number("thread", thread);
    if (IsWindowOfThread(window, thread))
        AddWindowFields(line, window);
    else
        line.Window("hwnd", window).Number("pid", pid);
    line.Print();
}

// Runs this thread's message loop until stopFile exists or limitMs passed
// (0: no limit).
void RunUntilStopped(const std::wstring& stopFile, DWORD limitMs)
{
    ULONGLONG start = GetTickCount64();
    constexpr UINT PollMs = 20;
    UINT_PTR timer = SetTimer(nullptr, 0, PollMs, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            bool stopped = !stopFile.empty() && GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (stopped || (limitMs && GetTickCount64() - start >= limitMs))
                break;
            continue;
        }
        DispatchMessageW(&message);
    }
    KillTimer(nullptr, timer);
}

int Watch(const std::wstring& stopFile, DWORD limitMs)
{
    TEventHook hook(SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_DESTROY, nullptr, OnWinEvent, 0, 0,
                                    WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (!hook)
        return 1;
    TJsonLine().Text("event", L"ready").Print();
    RunUntilStopped(stopFile, limitMs);
    TJsonLine().Text("event", L"end").Print();
    return 0;
}

int Idle(const std::wstring& stopFile)
{
    // Asking for the desktop window is what makes Wine start the desktop process.
    if (!GetDesktopWindow())
        return 1;
    TJsonLine().Text("event", L"ready").Print();
    RunUntilStopped(stopFile, 0);
    return 0;
}

TBrush g_testWindowBrush;

const wchar_t* InputName(UINT message)
{
    switch (message) {
    case WM_MOUSEMOVE: return L"mousemove";
    case WM_LBUTTONDOWN: return L"lbuttondown";
    case WM_LBUTTONUP: return L"lbuttonup";
    case WM_RBUTTONDOWN: return L"rbuttondown";
    case WM_RBUTTONUP: return L"rbuttonup";
    case WM_KEYDOWN: return L"keydown";
    case WM_KEYUP: return L"keyup";
    default: return nullptr;
    }
}

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (const wchar_t* input = InputName(message)) {
        TJsonLine line;
        line.Text("input", input).Number("time", GetMessageTime());
        if (message == WM_KEYDOWN || message == WM_KEYUP)
            line.Number("vk", wParam);
        else
            line.Signed("x", static_cast<short>(LOWORD(lParam))).Signed("y", static_cast<short>(HIWORD(lParam)));
        line.Print();
        return 0;
    }
    if (message == WM_ERASEBKGND) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, g_testWindowBrush.Get());
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int ShowTestWindow(const RECT& rect, const std::wstring& title, const std::wstring& stopFile)
{
    g_testWindowBrush.Reset(CreateSolidBrush(RGB(255, 0, 0)));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"WinProbeTestWindow";
    if (!RegisterClassW(&windowClass))
        return 1;
    HWND window = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, title.c_str(), WS_POPUP,
                                  rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    UpdateWindow(window);
    TJsonLine().Text("event", L"ready").Number("pid", GetCurrentProcessId()).Window("hwnd", window).Print();
    RunUntilStopped(stopFile, 0);
    DestroyWindow(window);
    return 0;
}

std::optional<RECT> ParseRect(const char* text)
{
    RECT rect{};
    if (std::sscanf(text, "%ld,%ld,%ld,%ld", &rect.left, &rect.top, &rect.right, &rect.bottom) != 4 ||
        rect.right <= rect.left || rect.bottom <= rect.top)
        return std::nullopt;
    return rect;
}

int Usage()
{
    std::fputs("usage: winprobe windows|processes|monitors|watch|idle|window [--pid N] [--image NAME] "
               "[--stop FILE] [--ms N] [--rect L,T,R,B] [--title TEXT]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    TFilter filter;
    std::wstring stopFile;
    DWORD limitMs = 0;
    std::optional<RECT> rect;
    std::wstring title;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const char* value = argv[++i];
        if (option == "--pid")
            filter.pid = static_cast<DWORD>(std::strtoul(value, nullptr, 0));
        else if (option == "--image")
            filter.image = Wide(value);
        else if (option == "--stop")
            stopFile = Wide(value);
        else if (option == "--ms")
            limitMs = static_cast<DWORD>(std::strtoul(value, nullptr, 0));
        else if (option == "--rect" && (rect = ParseRect(value)))
            continue;
        else if (option == "--title")
            title = Wide(value);
        else
            return Usage();
    }
    if (command == "windows")
        return ListWindows(filter);
    if (command == "processes")
        return ListProcesses(filter);
    if (command == "monitors")
        return ListMonitors();
    if (command == "watch" && (!stopFile.empty() || limitMs)) {
        g_watchFilter = filter;
        return Watch(stopFile, limitMs);
    }
    if (command == "idle" && !stopFile.empty())
        return Idle(stopFile);
    if (command == "window" && rect && !stopFile.empty())
        return ShowTestWindow(*rect, title, stopFile);
    return Usage();
}
