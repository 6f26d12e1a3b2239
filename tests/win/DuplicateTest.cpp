// Named-mutex claims: the first claim of a name wins, every claim while the
// name exists loses (in this process or another) and leaves its handle 0, and
// once the holder releases or ends the name is free again. The other process
// is claimmutex.exe from this executable's folder, which reports its claim in
// a status file and holds it until told to release or to exit.
#include "TestFiles.h"
#include "host/Duplicate.h"

#include "win/Handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace saver {
namespace {

using test::ThisExecutableFolder;
using test::ReadWholeFile;

constexpr ULONGLONG StatusWaitMs = 15000;
constexpr DWORD ExitWaitMs = 15000;

// A name nothing else on the machine uses.
std::string FreshName(const char* purpose)
{
    static int counter = 0;
    return "SaverDuplicateTest-" + std::string(purpose) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount64()) + "-" + std::to_string(++counter);
}

// Whether a mutex of that name exists right now, seen from a handle of our own
// that is closed again at once.
bool MutexExists(const std::string& name)
{
    win::TKernelHandle probe(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
    return static_cast<bool>(probe);
}

std::size_t LineCount(const std::string& text)
{
    std::size_t count = 0;
    for (char c : text)
        count += c == '\n';
    return count;
}

// One claimmutex.exe process claiming name. It is always ended, and its
// status file removed, when the object goes.
class TClaimProcess {
public:
    explicit TClaimProcess(const std::string& name)
        : releaseEventName_(FreshName("release")), exitEventName_(FreshName("exit"))
    {
        char folder[MAX_PATH];
        char file[MAX_PATH];
        if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "cmx", 0, file) == 0)
            return;
        status_ = file;
        releaseEvent_.Reset(CreateEventA(nullptr, TRUE, FALSE, releaseEventName_.c_str()));
        exitEvent_.Reset(CreateEventA(nullptr, TRUE, FALSE, exitEventName_.c_str()));
        if (!releaseEvent_ || !exitEvent_)
            return;
        std::string commandLine = "\"" + ThisExecutableFolder() + "\\claimmutex.exe\" " + name + " \"" + status_ +
                                  "\" " + releaseEventName_ + " " + exitEventName_;
        std::vector<char> writable(commandLine.begin(), commandLine.end());
        writable.push_back('\0');
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return;
        process_.Reset(info.hProcess);
        win::TKernelHandle thread(info.hThread);
    }

    ~TClaimProcess()
    {
        if (process_) {
            SetEvent(exitEvent_.Get());
            if (WaitForSingleObject(process_.Get(), ExitWaitMs) != WAIT_OBJECT_0)
                TerminateProcess(process_.Get(), 1);
        }
        if (!status_.empty())
            DeleteFileA(status_.c_str());
    }

    TClaimProcess(const TClaimProcess&) = delete;
    TClaimProcess& operator=(const TClaimProcess&) = delete;

    bool Started() const { return static_cast<bool>(process_); }

    // The status file once it holds that many complete lines, or what it holds
    // when the wait runs out or the process has ended without them.
    std::string WaitForLines(std::size_t lines) const
    {
        ULONGLONG start = GetTickCount64();
        for (;;) {
            std::string text = ReadWholeFile(status_);
            if (LineCount(text) >= lines || GetTickCount64() - start > StatusWaitMs)
                return text;
            if (WaitForSingleObject(process_.Get(), 20) == WAIT_OBJECT_0)
                return ReadWholeFile(status_);
        }
    }

    // Lets the process give its claim up and returns its whole report.
    std::string Release() const
    {
        SetEvent(releaseEvent_.Get());
        return WaitForLines(2);
    }

    // Ends the process without a release; true once it has gone.
    bool End() const
    {
        SetEvent(exitEvent_.Get());
        DWORD exitCode = 1;
        return WaitForSingleObject(process_.Get(), ExitWaitMs) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(process_.Get(), &exitCode) && exitCode == 0;
    }

private:
    std::string status_;
    std::string releaseEventName_;
    std::string exitEventName_;
    win::TKernelHandle releaseEvent_;
    win::TKernelHandle exitEvent_;
    win::TKernelHandle process_;
};

// Every claim a test makes is released at its end, whatever happened.
class DuplicateTest : public testing::Test {
protected:
    void TearDown() override
    {
        ReleaseNamedMutex(first_);
        ReleaseNamedMutex(second_);
        ReleaseInstance();
        InstanceName.clear();
    }

    HANDLE first_ = nullptr;
    HANDLE second_ = nullptr;
};

TEST_F(DuplicateTest, FirstClaimOfFreshNameCreatesTheMutex)
{
    std::string name = FreshName("fresh");
    ASSERT_FALSE(MutexExists(name));
    EXPECT_TRUE(ClaimNamedMutex(first_, name));
    EXPECT_NE(first_, nullptr);
    EXPECT_TRUE(MutexExists(name));
}

TEST_F(DuplicateTest, SecondClaimInThisProcessLosesAndLeavesItsHandleZero)
{
    std::string name = FreshName("same");
    ASSERT_TRUE(ClaimNamedMutex(first_, name));
    HANDLE held = first_;
    EXPECT_FALSE(ClaimNamedMutex(second_, name));
    EXPECT_EQ(second_, nullptr);
    // The losing claim closed only what it opened itself.
    EXPECT_EQ(first_, held);
    EXPECT_TRUE(MutexExists(name));
}

TEST_F(DuplicateTest, ReleaseFreesTheNameForTheNextClaim)
{
    std::string name = FreshName("again");
    ASSERT_TRUE(ClaimNamedMutex(first_, name));
    ReleaseNamedMutex(first_);
    EXPECT_EQ(first_, nullptr);
    EXPECT_FALSE(MutexExists(name));
    EXPECT_TRUE(ClaimNamedMutex(second_, name));
    EXPECT_NE(second_, nullptr);
}

TEST_F(DuplicateTest, ReleasingZeroHandleTouchesNothing)
{
    ASSERT_TRUE(ClaimNamedMutex(first_, FreshName("twice")));
    ReleaseNamedMutex(first_);
    ASSERT_EQ(first_, nullptr);
    // A release that called the system with a zero handle would change the
    // thread's last error.
    constexpr DWORD Marker = 0x5A5A;
    SetLastError(Marker);
    ReleaseNamedMutex(first_);
    ReleaseNamedMutex(second_);
    ReleaseNamedMutex(second_);
    EXPECT_EQ(GetLastError(), Marker);
    EXPECT_EQ(first_, nullptr);
    EXPECT_EQ(second_, nullptr);
}

TEST_F(DuplicateTest, NameOfAnotherKindOfObjectCannotBeClaimed)
{
    std::string name = FreshName("event");
    win::TKernelHandle event(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    EXPECT_FALSE(ClaimNamedMutex(first_, name));
    EXPECT_EQ(first_, nullptr);
}

TEST_F(DuplicateTest, NewClaimIntoHeldHandleGivesTheOldOneUp)
{
    std::string oldName = FreshName("old");
    std::string newName = FreshName("new");
    ASSERT_TRUE(ClaimNamedMutex(first_, oldName));
    EXPECT_TRUE(ClaimNamedMutex(first_, newName));
    EXPECT_NE(first_, nullptr);
    EXPECT_FALSE(MutexExists(oldName));
    EXPECT_TRUE(MutexExists(newName));

    // A losing claim gives the held one up too: the handle ends at 0.
    ASSERT_TRUE(ClaimNamedMutex(second_, oldName));
    EXPECT_FALSE(ClaimNamedMutex(first_, oldName));
    EXPECT_EQ(first_, nullptr);
    EXPECT_FALSE(MutexExists(newName));
}

TEST_F(DuplicateTest, ClaimInOtherProcessLosesWhileThisOneHolds)
{
    std::string name = FreshName("held-here");
    ASSERT_TRUE(ClaimNamedMutex(first_, name));
    TClaimProcess other(name);
    ASSERT_TRUE(other.Started());
    EXPECT_EQ(other.WaitForLines(1), "claimed=0 held=0\n");
    EXPECT_TRUE(MutexExists(name));
}

TEST_F(DuplicateTest, ClaimHereLosesWhileOtherProcessHoldsUntilItReleases)
{
    std::string name = FreshName("held-there");
    TClaimProcess other(name);
    ASSERT_TRUE(other.Started());
    ASSERT_EQ(other.WaitForLines(1), "claimed=1 held=1\n");

    EXPECT_FALSE(ClaimNamedMutex(first_, name));
    EXPECT_EQ(first_, nullptr);

    EXPECT_EQ(other.Release(), "claimed=1 held=1\nreleased held=0\n");
    EXPECT_TRUE(ClaimNamedMutex(first_, name));
    EXPECT_NE(first_, nullptr);
}

TEST_F(DuplicateTest, ClaimHereWinsOnceOtherProcessHasEnded)
{
    std::string name = FreshName("ended-there");
    TClaimProcess other(name);
    ASSERT_TRUE(other.Started());
    ASSERT_EQ(other.WaitForLines(1), "claimed=1 held=1\n");
    EXPECT_FALSE(ClaimNamedMutex(first_, name));

    // The other process never releases: its end closes the handle.
    ASSERT_TRUE(other.End());
    EXPECT_TRUE(ClaimNamedMutex(first_, name));
    EXPECT_NE(first_, nullptr);
}

TEST_F(DuplicateTest, ClaimInstanceStoresTheNameAndClaimsIntoInstanceHandle)
{
    ASSERT_TRUE(InstanceName.empty());
    ASSERT_EQ(InstanceHandle, nullptr);
    std::string name = FreshName("instance");
    EXPECT_TRUE(ClaimInstance(name));
    EXPECT_EQ(InstanceName, name);
    EXPECT_NE(InstanceHandle, nullptr);
    EXPECT_TRUE(MutexExists(name));

    ReleaseInstance();
    EXPECT_EQ(InstanceHandle, nullptr);
    EXPECT_FALSE(MutexExists(name));
    EXPECT_EQ(InstanceName, name);
    ReleaseInstance();
    EXPECT_EQ(InstanceHandle, nullptr);
}

TEST_F(DuplicateTest, LosingClaimInstanceStillStoresTheName)
{
    std::string name = FreshName("instance-taken");
    ASSERT_TRUE(ClaimNamedMutex(first_, name));
    EXPECT_FALSE(ClaimInstance(name));
    EXPECT_EQ(InstanceName, name);
    EXPECT_EQ(InstanceHandle, nullptr);
}

TEST_F(DuplicateTest, SecondClaimInstanceReplacesTheFirst)
{
    std::string firstName = FreshName("instance-a");
    std::string secondName = FreshName("instance-b");
    ASSERT_TRUE(ClaimInstance(firstName));
    EXPECT_TRUE(ClaimInstance(secondName));
    EXPECT_EQ(InstanceName, secondName);
    EXPECT_FALSE(MutexExists(firstName));
    EXPECT_TRUE(MutexExists(secondName));
}

} // namespace
} // namespace saver
