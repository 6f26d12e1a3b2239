// claimmutex: a second process for the single-instance tests. It claims a
// named mutex with ClaimNamedMutex and writes down the outcome, then holds the
// claim until the test signals one of two named events: the release event
// makes it give the claim up (and write that down), the exit event makes it
// end at once, still holding whatever it holds.
//
//   claimmutex NAME STATUS_FILE RELEASE_EVENT EXIT_EVENT
//
// STATUS_FILE receives "claimed=<0|1> held=<0|1>" and, after a release,
// "released held=<0|1>", one line each; held tells whether the handle is
// nonzero. It never waits longer than a minute, so a test that fails half-way
// leaves nothing running.
#include "host/Duplicate.h"

#include "win/Handle.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD LongestWaitMs = 60000;

bool AppendLine(const std::string& path, const std::string& line)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file)
        return false;
    std::string text = line + "\n";
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

std::string Held(HANDLE handle) { return handle ? "1" : "0"; }

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fputs("usage: claimmutex NAME STATUS_FILE RELEASE_EVENT EXIT_EVENT\n", stderr);
        return 125;
    }
    const std::string status = argv[2];
    saver::win::TKernelHandle releaseEvent(OpenEventA(SYNCHRONIZE, FALSE, argv[3]));
    saver::win::TKernelHandle exitEvent(OpenEventA(SYNCHRONIZE, FALSE, argv[4]));
    if (!releaseEvent || !exitEvent) {
        std::fputs("claimmutex: events not found\n", stderr);
        return 125;
    }

    HANDLE claim = nullptr;
    bool claimed = saver::ClaimNamedMutex(claim, argv[1]);
    if (!AppendLine(status, "claimed=" + std::string(claimed ? "1" : "0") + " held=" + Held(claim)))
        return 126;

    HANDLE events[] = {exitEvent.Get(), releaseEvent.Get()};
    DWORD which = WaitForMultipleObjects(2, events, FALSE, LongestWaitMs);
    if (which == WAIT_OBJECT_0)
        return 0;
    if (which != WAIT_OBJECT_0 + 1)
        return 2;
    saver::ReleaseNamedMutex(claim);
    if (!AppendLine(status, "released held=" + Held(claim)))
        return 126;
    return WaitForSingleObject(exitEvent.Get(), LongestWaitMs) == WAIT_OBJECT_0 ? 0 : 2;
}
