// GetShellLongPath on real files whose long names have short (8.3) forms, on
// paths the shell cannot resolve, and the COM initialisation it relies on.
#include "payload/ShellPath.h"
#include "win/ComInitialization.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

namespace saver {
namespace {

std::string LongPathOf(const std::string& path)
{
    char longPath[MAX_PATH];
    DWORD length = GetLongPathNameA(path.c_str(), longPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(longPath, length) : std::string();
}

std::string ShortPathOf(const std::string& path)
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(shortPath, length) : std::string();
}

// A folder and a file with long names in the temporary folder, with COM on
// the test thread as the program has it.
class ShellPathTest : public testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
        // The temporary folder itself may come in short form.
        std::string folder = LongPathOf(temp);
        ASSERT_FALSE(folder.empty());
        folder_ = folder + "Glimmo long folder name " + std::to_string(GetCurrentProcessId());
        file_ = folder_ + "\\A movie file with a long name.swf";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        std::ofstream(file_) << "FWS";
        ASSERT_NE(GetFileAttributesA(file_.c_str()), INVALID_FILE_ATTRIBUTES);
    }

    void TearDown() override
    {
        DeleteFileA(file_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    win::TComInitialization com_;
    std::string folder_;
    std::string file_;
};

TEST_F(ShellPathTest, ShortComponentsBecomeLongNames)
{
    ASSERT_TRUE(SUCCEEDED(com_.Result()));
    for (const std::string& path : {folder_, file_}) {
        std::string shortPath = ShortPathOf(path);
        ASSERT_FALSE(shortPath.empty()) << path;
        ASSERT_NE(shortPath, path) << "no short form to undo";
        EXPECT_EQ(GetShellLongPath(shortPath), path) << shortPath;
        EXPECT_EQ(GetShellLongPath(path), path);
    }
}

TEST_F(ShellPathTest, UnresolvablePathsGiveEmptyText)
{
    const std::string paths[] = {
        "",
        folder_ + "\\missing.swf",
        "Q:\\no\\such\\drive\\file.txt",
        std::string("C:\\a") + '\0' + "b",
        // My Computer: the shell knows it, but it is no file-system path.
        "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
        "::{not a class id}",
    };
    for (const std::string& path : paths)
        EXPECT_EQ(GetShellLongPath(path), "") << '"' << path << '"';
}

// On a thread of its own, whose COM state no other test has touched.
TEST(ComInitialization, HoldsASingleThreadedApartmentForItsLifetime)
{
    std::thread([] {
        {
            win::TComInitialization outer;
            EXPECT_EQ(outer.Result(), S_OK);
            {
                win::TComInitialization inner;
                EXPECT_EQ(inner.Result(), S_FALSE);
            }
            // The inner one gave back only its own count: still an apartment thread.
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        }
        // Gone with the outer one: the thread may now choose another model.
        HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(again, S_OK);
        if (SUCCEEDED(again))
            CoUninitialize();
    }).join();
}

} // namespace
} // namespace saver
