// GetTempSubfolder against the system's temporary folder, which the tests
// move by setting TMP: exactly one "\" before the name, nothing created,
// nothing outside the folder for names that would leave it, and no path when
// the system cannot report a folder that fits.
#include "payload/TempFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace saver {
namespace {

using namespace std::string_literals;

// Keeps the process's TMP as it was.
class TempFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        char value[32768];
        DWORD length = GetEnvironmentVariableA("TMP", value, sizeof value);
        if (length > 0 && length < sizeof value)
            savedTmp_ = std::string(value, length);
    }

    void TearDown() override { SetEnvironmentVariableA("TMP", savedTmp_ ? savedTmp_->c_str() : nullptr); }

    static std::string SystemTempFolder()
    {
        char folder[MAX_PATH];
        DWORD length = GetTempPathA(MAX_PATH, folder);
        return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string();
    }

private:
    std::optional<std::string> savedTmp_;
};

TEST_F(TempFolderTest, NameGoesIntoTheSystemsTemporaryFolder)
{
    std::string folder = SystemTempFolder();
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(folder.back(), '\\');
    const std::string name = "{6F1D2C44-0B3A-4E55-9A10-" + std::to_string(GetCurrentProcessId()) + "}";

    std::string path = GetTempSubfolder(name);
    EXPECT_EQ(path, folder + name);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing is created";
}

TEST_F(TempFolderTest, OneSeparatorWhetherOrNotTheFolderEndsInOne)
{
    for (const char* tmp : {"C:\\glimmo-tmp", "C:\\glimmo-tmp\\"}) {
        ASSERT_TRUE(SetEnvironmentVariableA("TMP", tmp));
        EXPECT_EQ(GetTempSubfolder("x"), "C:\\glimmo-tmp\\x") << tmp;
    }
}

TEST_F(TempFolderTest, NamesThatWouldLeaveTheFolderGiveNoPath)
{
    const std::string names[] = {"",      ".",         "..",    "...",   "a\\..\\..", "..\\x", "a/b",
                                 "/x",    "C:\\x",     "C:",    "a:b",   "a\nb",      "\t",    "a\0b"s,
                                 "CON",   "nul.swf",   "x ",    "*",     "x?"};
    for (const std::string& name : names)
        EXPECT_EQ(GetTempSubfolder(name), "") << '"' << name << '"';
}

TEST_F(TempFolderTest, NoPathWhenTheFolderDoesNotFit)
{
    // The system reports at most 260 characters here or fails outright;
    // either way there is no folder to name.
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", ("C:\\" + std::string(300, 'a')).c_str()));
    EXPECT_EQ(GetTempSubfolder("x"), "");

    std::string longest = "C:\\" + std::string(200, 'b');
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", longest.c_str()));
    EXPECT_EQ(GetTempSubfolder("x"), longest + "\\x");
}

} // namespace
} // namespace saver
