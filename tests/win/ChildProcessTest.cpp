// RunChildAndWait, the heart of the S switch: the child gets exactly the
// command line, the call comes back only once the child has ended, and this
// thread's messages keep being answered meanwhile. The child is recordargs.exe
// from this executable's own folder: it writes down the command line it got,
// sleeps as long as asked and then appends "ended".
#include "TestFiles.h"
#include "host/FullScreenChild.h"

#include "win/Handle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace saver {
namespace {

using test::ThisExecutableFolder;
using test::ReadWholeFile;

std::string RecordArgs() { return ThisExecutableFolder() + "\\recordargs.exe"; }

ULONGLONG MillisecondsSince(ULONGLONG start) { return GetTickCount64() - start; }

// Whether a recordargs.exe started by this process is still there.
bool OwnRecordArgsChildExists()
{
    // A failed snapshot is INVALID_HANDLE_VALUE, as with files.
    win::TFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp(entry.szExeFile, L"recordargs.exe") == 0)
            return true;
    }
    return false;
}

// Every test gets its own record file, named to the child through the
// environment that RunChildAndWait passes on.
class ChildProcessTest : public testing::Test {
protected:
    void SetUp() override
    {
        char folder[MAX_PATH];
        char name[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
        ASSERT_NE(GetTempFileNameA(folder, "rca", 0, name), 0u);
        record_ = name;
        ASSERT_TRUE(SetEnvironmentVariableA("RECORDARGS_OUT", record_.c_str()));
    }

    void TearDown() override
    {
        SetEnvironmentVariableA("RECORDARGS_OUT", nullptr);
        DeleteFileA(record_.c_str());
    }

    std::string Record() const { return ReadWholeFile(record_); }

    std::string record_;
};

struct TCommandLineCase {
    const char* name;
    std::string commandLine;
};

class ChildCommandLineTest : public ChildProcessTest, public testing::WithParamInterface<TCommandLineCase> {};

TEST_P(ChildCommandLineTest, ChildGetsExactlyTheCommandLine)
{
    const std::string& commandLine = GetParam().commandLine;
    ASSERT_TRUE(RunChildAndWait(commandLine));
    EXPECT_EQ(Record(), commandLine + "\nended\n");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ChildCommandLineTest,
    testing::Values(
        // What the S switch hands over: the bare path, then the switch.
        TCommandLineCase{"UnquotedPathAndSwitch", RecordArgs() + " /E"},
        TCommandLineCase{"QuotedPath", "\"" + RecordArgs() + "\" /E"},
        // Blanks and quotes are the child's to interpret, not the caller's.
        TCommandLineCase{"BlanksAndQuotesKept", "\"" + RecordArgs() + "\"   a  \"b c\"  "},
        // The child's exit code is not the caller's business.
        TCommandLineCase{"FailingChild", RecordArgs() + " --exit 3"}),
    [](const testing::TestParamInfo<TCommandLineCase>& info) { return std::string(info.param.name); });

TEST_F(ChildProcessTest, ReturnsOnlyAfterTheChildHasEnded)
{
    constexpr ULONGLONG ChildSleepMs = 700;
    ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(RunChildAndWait(RecordArgs() + " --sleep " + std::to_string(ChildSleepMs)));
    ULONGLONG elapsed = MillisecondsSince(start);

    EXPECT_EQ(Record(), RecordArgs() + " --sleep 700\nended\n");
    // The tick count moves in steps of up to 16 ms on Windows.
    EXPECT_GE(elapsed + 16, ChildSleepMs);
    EXPECT_LT(elapsed, ChildSleepMs + 15000);
    EXPECT_FALSE(OwnRecordArgsChildExists());
}

// A message-only window of the test thread that counts what reaches it and
// notes, at every timer tick, whether the child had already finished.
class TMessageCounter {
public:
    explicit TMessageCounter(std::string record) : record_(std::move(record))
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = ClassName;
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                                  nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TMessageCounter()
    {
        if (window_)
            DestroyWindow(window_);
    }
    TMessageCounter(const TMessageCounter&) = delete;
    TMessageCounter& operator=(const TMessageCounter&) = delete;

    HWND Window() const { return window_; }

    bool posted = false;
    int ticks = 0;
    int ticksWhileChildRan = 0;

private:
    static constexpr wchar_t ClassName[] = L"ChildProcessTestCounter";

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TMessageCounter*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_APP) {
            self->posted = true;
            return 0;
        }
        if (self && message == WM_TIMER) {
            ++self->ticks;
            std::string record = ReadWholeFile(self->record_);
            if (!record.empty() && record.find("ended") == std::string::npos)
                ++self->ticksWhileChildRan;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    std::string record_;
    HWND window_ = nullptr;
};

TEST_F(ChildProcessTest, AnswersThisThreadsMessagesWhileWaiting)
{
    TMessageCounter counter(record_);
    ASSERT_NE(counter.Window(), nullptr);
    ASSERT_TRUE(PostMessageW(counter.Window(), WM_APP, 0, 0));
    ASSERT_NE(SetTimer(counter.Window(), 1, 50, nullptr), 0u);

    ASSERT_TRUE(RunChildAndWait(RecordArgs() + " --sleep 1000"));
    KillTimer(counter.Window(), 1);

    // Nobody else pumps this thread's queue: what arrived, arrived during the call.
    EXPECT_TRUE(counter.posted);
    // More than one tick: the queue was served again and again, not once.
    EXPECT_GE(counter.ticks, 2);
    EXPECT_GE(counter.ticksWhileChildRan, 1);
}

struct TUnstartableCase {
    const char* name;
    std::string commandLine;
};

class UnstartableChildTest : public ChildProcessTest, public testing::WithParamInterface<TUnstartableCase> {};

TEST_P(UnstartableChildTest, ReturnsFalseAtOnce)
{
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(RunChildAndWait(GetParam().commandLine));
    EXPECT_LT(MillisecondsSince(start), 3000u);
    EXPECT_EQ(Record(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UnstartableChildTest,
    testing::Values(TUnstartableCase{"MissingProgram", ThisExecutableFolder() + "\\no-such-program.exe /E"},
                    TUnstartableCase{"FolderInsteadOfProgram", ThisExecutableFolder()},
                    TUnstartableCase{"Empty", ""}),
    [](const testing::TestParamInfo<TUnstartableCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace saver
