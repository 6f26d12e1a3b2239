// RemoveFileOrFolder on real files in a scratch folder of the temporary
// folder: a file, a tree with read-only, hidden and empty parts, a path with
// a trailing "\", missing paths, a file held open, and the paths it must
// refuse (relative ones, resolved against a current directory that the test
// points at a victim folder; a zero inside; wildcards). A watch on this
// thread's windows shows whether the shell put up any dialog.
#include "payload/FileRemoval.h"

#include "win/Handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace saver {
namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
}

// While it lives, a second thread looks at the watched thread's top-level
// windows every 20 ms and notes the class of every visible one; it closes
// each, so that a dialog cannot hold the test up.
class TDialogWatch {
public:
    TDialogWatch() : threadId_(GetCurrentThreadId()), watcher_([this] { Run(); }) {}
    ~TDialogWatch() { Stop(); }
    TDialogWatch(const TDialogWatch&) = delete;
    TDialogWatch& operator=(const TDialogWatch&) = delete;

    // The classes seen so far; stops the watch.
    std::vector<std::string> Seen()
    {
        Stop();
        return seen_;
    }

private:
    void Stop()
    {
        stop_ = true;
        if (watcher_.joinable())
            watcher_.join();
    }

    void Run()
    {
        while (!stop_) {
            EnumThreadWindows(threadId_, Visit, reinterpret_cast<LPARAM>(this));
            Sleep(20);
        }
    }

    static BOOL CALLBACK Visit(HWND window, LPARAM self)
    {
        if (IsWindowVisible(window)) {
            char name[64] = {};
            GetClassNameA(window, name, sizeof name);
            reinterpret_cast<TDialogWatch*>(self)->seen_.push_back(name);
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        return TRUE;
    }

    DWORD threadId_;
    std::atomic<bool> stop_ = false;
    std::vector<std::string> seen_;
    std::thread watcher_;
};

class FileRemovalTest : public testing::Test {
protected:
    void SetUp() override
    {
        char folder[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
        scratch_ = std::string(folder) + "glimmo-removal-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(GetTickCount64());
        ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), nullptr));
        char current[MAX_PATH];
        DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
        ASSERT_TRUE(length > 0 && length < MAX_PATH);
        savedCurrent_.assign(current, length);
    }

    void TearDown() override
    {
        SetCurrentDirectoryA(savedCurrent_.c_str());
        Scrub(scratch_);
    }

    // What a test left behind, read-only parts too.
    static void Scrub(const std::string& path)
    {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileA(path.c_str());
            return;
        }
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = entry.cFileName;
                if (name != "." && name != "..")
                    Scrub(path + "\\" + name);
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryA(path.c_str());
    }

    // A folder with files, a nested folder holding a read-only file and a
    // hidden system file, and an empty folder.
    std::string MakeTree(const std::string& name)
    {
        std::string root = scratch_ + "\\" + name;
        EXPECT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
        EXPECT_TRUE(CreateDirectoryA((root + "\\sub").c_str(), nullptr));
        EXPECT_TRUE(CreateDirectoryA((root + "\\sub\\deeper").c_str(), nullptr));
        EXPECT_TRUE(CreateDirectoryA((root + "\\empty").c_str(), nullptr));
        WriteFile(root + "\\movie.swf", "FWS movie");
        WriteFile(root + "\\sub\\data.bin", std::string(70000, 'x'));
        WriteFile(root + "\\sub\\deeper\\readonly.txt", "keep?");
        EXPECT_TRUE(SetFileAttributesA((root + "\\sub\\deeper\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        WriteFile(root + "\\sub\\hidden.txt", "hidden");
        EXPECT_TRUE(SetFileAttributesA((root + "\\sub\\hidden.txt").c_str(),
                                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        EXPECT_TRUE(Exists(root + "\\sub\\deeper\\readonly.txt"));
        return root;
    }

    std::string scratch_;
    std::string savedCurrent_;
};

TEST_F(FileRemovalTest, RemovesAFile)
{
    std::string file = scratch_ + "\\movie.swf";
    WriteFile(file, "FWS");
    ASSERT_TRUE(Exists(file));

    TDialogWatch watch;
    EXPECT_TRUE(RemoveFileOrFolder(file));
    EXPECT_EQ(watch.Seen(), std::vector<std::string>{});
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(Exists(scratch_));
}

TEST_F(FileRemovalTest, RemovesAWholeTreeWithoutAnyDialog)
{
    std::string root = MakeTree("tree");
    std::string sibling = scratch_ + "\\tree2";
    ASSERT_TRUE(CreateDirectoryA(sibling.c_str(), nullptr));

    TDialogWatch watch;
    EXPECT_TRUE(RemoveFileOrFolder(root));
    EXPECT_EQ(watch.Seen(), std::vector<std::string>{});
    EXPECT_FALSE(Exists(root));
    // Nothing beside it, not even a name that starts the same.
    EXPECT_TRUE(Exists(sibling));
}

TEST_F(FileRemovalTest, PathEndingInBackslashRemovesTheFolderItNames)
{
    std::string root = MakeTree("{6F1D2C44-0B3A-4E55-9A10-2B9C3D4E5F60}");

    TDialogWatch watch;
    EXPECT_TRUE(RemoveFileOrFolder(root + "\\"));
    EXPECT_EQ(watch.Seen(), std::vector<std::string>{});
    EXPECT_FALSE(Exists(root));
    EXPECT_TRUE(Exists(scratch_));
}

TEST_F(FileRemovalTest, MissingPathReturnsFalse)
{
    std::string kept = scratch_ + "\\kept.txt";
    WriteFile(kept, "kept");
    const std::string paths[] = {scratch_ + "\\missing.txt", scratch_ + "\\missing\\", scratch_ + "\\no\\such\\file"};
    for (const std::string& path : paths)
        EXPECT_FALSE(RemoveFileOrFolder(path)) << path;
    EXPECT_TRUE(Exists(kept));
}

// The current directory is a folder holding "victim"; every relative way of
// naming victim must leave it alone.
TEST_F(FileRemovalTest, RelativeAndEmptyPathsRemoveNothing)
{
    std::string victim = MakeTree("victim");
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.c_str()));
    std::string scratchName = scratch_.substr(scratch_.find_last_of('\\') + 1);
    ASSERT_EQ(scratch_[1], ':');
    const std::string paths[] = {
        "",
        "victim",
        "victim\\",
        ".\\victim",
        "..\\" + scratchName + "\\victim",
        // Drive-relative: the current directory of the drive.
        scratch_.substr(0, 2) + "victim",
        // Root-relative: the root of the current drive.
        scratch_.substr(2) + "\\victim",
        // What a drive root would become without its "\".
        scratch_.substr(0, 2),
    };
    for (const std::string& path : paths) {
        EXPECT_FALSE(RemoveFileOrFolder(path)) << '"' << path << '"';
        ASSERT_TRUE(Exists(scratch_)) << "removed the current directory through \"" << path << '"';
        if (!Exists(victim + "\\sub\\data.bin")) {
            ADD_FAILURE() << "removed through \"" << path << '"';
            // Each way on its own: the victim is made again for the next.
            Scrub(victim);
            MakeTree("victim");
        }
    }
}

TEST_F(FileRemovalTest, ZeroCharacterAndWildcardsRemoveNothing)
{
    std::string first = MakeTree("first");
    std::string second = MakeTree("second");
    // The shell would read the zero as the end of one name and the start of
    // the next, and delete both.
    EXPECT_FALSE(RemoveFileOrFolder(first + std::string(1, '\0') + second));
    EXPECT_FALSE(RemoveFileOrFolder(scratch_ + "\\*"));
    EXPECT_FALSE(RemoveFileOrFolder(scratch_ + "\\fir?t"));
    EXPECT_FALSE(RemoveFileOrFolder(scratch_ + "\\s*"));
    EXPECT_TRUE(Exists(first + "\\movie.swf"));
    EXPECT_TRUE(Exists(second + "\\movie.swf"));
}

TEST_F(FileRemovalTest, FileHeldOpenMakesTheRemovalFail)
{
    std::string root = MakeTree("held");
    std::string held = root + "\\sub\\data.bin";
    win::TFileHandle file(
        CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);

    bool removed;
    {
        // The shell's error dialogs are left on: Windows may show one, which
        // the watch closes; Wine shows none.
        TDialogWatch watch;
        removed = RemoveFileOrFolder(root);
    }
    file.Reset();
    EXPECT_FALSE(removed);
    EXPECT_TRUE(Exists(held));
}

// A window of this thread with a message posted to it before the call.
class TPostedMessage {
public:
    TPostedMessage()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = ClassName;
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, ClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                                  nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        posted_ = window_ && PostMessageA(window_, WM_APP, 0, 0);
    }
    ~TPostedMessage()
    {
        if (window_)
            DestroyWindow(window_);
    }
    TPostedMessage(const TPostedMessage&) = delete;
    TPostedMessage& operator=(const TPostedMessage&) = delete;

    bool Posted() const { return posted_; }
    bool Delivered() const { return delivered_; }

private:
    static constexpr char ClassName[] = "FileRemovalTestWindow";

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TPostedMessage*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && message == WM_APP) {
            self->delivered_ = true;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    bool posted_ = false;
    bool delivered_ = false;
};

TEST_F(FileRemovalTest, ProcessesWaitingMessagesBeforeReturning)
{
    std::string root = MakeTree("pump");
    TPostedMessage message;
    ASSERT_TRUE(message.Posted());
    ASSERT_FALSE(message.Delivered());

    TDialogWatch watch;
    EXPECT_TRUE(RemoveFileOrFolder(root));
    EXPECT_EQ(watch.Seen(), std::vector<std::string>{});
    // Nobody else takes messages from this thread's queue.
    EXPECT_TRUE(message.Delivered());
}

} // namespace
} // namespace saver
