#include "host/FullScreenChild.h"

#include "win/Handle.h"
#include "win/MessagePump.h"
#include "win/ModulePath.h"

#include <windows.h>

#include <vector>

namespace saver {

namespace {

constexpr DWORD WaitSliceMs = 100;

void WaitWhileProcessingMessages(HANDLE process)
{
    while (WaitForSingleObject(process, WaitSliceMs) == WAIT_TIMEOUT) {
        win::ProcessMessages();
        Sleep(WaitSliceMs);
    }
}

} // namespace

bool RunChildAndWait(const std::string& commandLine)
{
    // The record's own size: 68 bytes on 32-bit Windows.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);

    // CreateProcess may write into the command line, so it gets its own copy.
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return false;
    win::TKernelHandle process(info.hProcess);
    win::TKernelHandle thread(info.hThread);
    WaitWhileProcessingMessages(process.Get());
    return true;
}

void RunFullScreenChild()
{
    RunChildAndWait(win::ModuleFileName() + " /E");
}

} // namespace saver
