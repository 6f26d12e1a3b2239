// ReadRegistryDefault and GetOpenProgram on values the tests write
// themselves: keys under HKEY_CURRENT_USER\Software named for this run, and
// file types registered under HKEY_CURRENT_USER\Software\Classes, all
// deleted at the end.
#include "payload/Registry.h"
#include "win/RegistryKey.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace saver {
namespace {

using namespace std::string_literals;

std::string RunId() { return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()); }

// Creates root\path and sets one of its values (nullptr: the default one).
bool SetValue(HKEY root, const std::string& path, const char* name, DWORD type, const std::string& data)
{
    win::TRegistryKey key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool CreateKey(HKEY root, const std::string& path)
{
    win::TRegistryKey key;
    return RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) ==
           ERROR_SUCCESS;
}

// A text value as RegSetValueEx wants it: with its terminating zero.
std::string Sz(const std::string& text) { return text + '\0'; }

struct TDefaultCase {
    const char* what;
    DWORD type;
    std::optional<std::string> data; // no default value when empty
    std::string expected;
};

class ReadRegistryDefaultTest : public testing::Test {
protected:
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\GlimmoSaverTests");
        SetEnvironmentVariableA("GLIMMO_REGISTRY_TEST", nullptr);
    }

    std::string base_ = "Software\\GlimmoSaverTests\\Registry-" + RunId();
};

TEST_F(ReadRegistryDefaultTest, ReadsTheDefaultTextOfAKey)
{
    ASSERT_TRUE(SetEnvironmentVariableA("GLIMMO_REGISTRY_TEST", "C:\\Expanded"));
    const std::string longest(254, 'L');
    const TDefaultCase cases[] = {
        {"text", REG_SZ, Sz("C:\\Windows\\System32\\Macromed\\Flash\\Flash.ocx"),
         "C:\\Windows\\System32\\Macromed\\Flash\\Flash.ocx"},
        {"trimmed", REG_SZ, Sz("  \tC:\\x.ocx \r\n"), "C:\\x.ocx"},
        {"empty default", REG_SZ, Sz(""), ""},
        {"no default", REG_SZ, std::nullopt, ""},
        {"254 characters and the zero fill the room", REG_SZ, Sz(longest), longest},
        {"255 characters do not fit", REG_SZ, Sz(longest + "M"), ""},
        {"far too long", REG_SZ, Sz(std::string(1000, 'x')), ""},
        {"stored without its zero", REG_SZ, "abc"s, "abc"},
        {"text ends at the first zero", REG_SZ, "abc\0def\0"s, "abc"},
        {"expanded", REG_EXPAND_SZ, Sz("%GLIMMO_REGISTRY_TEST%\\app.exe"), "C:\\Expanded\\app.exe"},
        {"number", REG_DWORD, "\x01\x02\x03\x04"s, ""},
        {"binary", REG_BINARY, "abc"s, ""},
        {"list of texts", REG_MULTI_SZ, "a\0b\0\0"s, ""},
    };
    int index = 0;
    for (const TDefaultCase& c : cases) {
        std::string key = base_ + "\\case" + std::to_string(index++);
        if (c.data) {
            ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, key, nullptr, c.type, *c.data)) << c.what;
        }
        // A named value beside the default one is never what is read.
        ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, key, "Other", REG_SZ, Sz("named"))) << c.what;
        EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, key), c.expected) << c.what;
        EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, key + "\\"), c.expected) << c.what << ", trailing \\";
    }
}

TEST_F(ReadRegistryDefaultTest, MissingKeyGivesEmptyText)
{
    ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, base_, nullptr, REG_SZ, Sz("parent")));
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, base_ + "\\missing"), "");
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, base_ + "\\missing\\"), "");
    EXPECT_EQ(ReadRegistryDefault(HKEY_LOCAL_MACHINE, base_), "");
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, base_), "parent");
}

// File types registered for the current user. Windows shows them through
// HKEY_CLASSES_ROOT; Wine 8 does not merge the user's classes into it, so
// where HKEY_CLASSES_ROOT does not see a key the same key is written through
// HKEY_CLASSES_ROOT as well. Everything written is deleted at the end.
class GetOpenProgramTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (const std::string& key : userKeys_)
            RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Classes\\" + key).c_str());
        for (const std::string& key : mergedKeys_)
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    }

    // The class of type, and its open command when there is one.
    void Register(const std::string& type, const std::string& fileClass, const std::optional<std::string>& command)
    {
        WriteClassKey(type, Sz(fileClass));
        if (command)
            WriteClassKey(fileClass + "\\shell\\open\\command", Sz(*command));
        else
            WriteClassKey(fileClass + "\\shell\\open", std::nullopt);
    }

    std::string Unique(const std::string& name) const { return name + id_; }

private:
    void WriteClassKey(const std::string& path, const std::optional<std::string>& defaultValue)
    {
        std::string top = path.substr(0, path.find('\\'));
        userKeys_.push_back(top);
        std::string userPath = "Software\\Classes\\" + path;
        if (defaultValue) {
            ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, userPath, nullptr, REG_SZ, *defaultValue)) << path;
        } else {
            ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, userPath)) << path;
        }

        win::TRegistryKey seen;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, seen.Put()) == ERROR_SUCCESS)
            return;
        mergedKeys_.push_back(top);
        if (defaultValue) {
            ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, path, nullptr, REG_SZ, *defaultValue)) << path;
        } else {
            ASSERT_TRUE(CreateKey(HKEY_CLASSES_ROOT, path)) << path;
        }
    }

    std::string id_ = std::to_string(GetCurrentProcessId()) + "x" + std::to_string(GetTickCount64() % 100000);
    std::vector<std::string> userKeys_;
    std::vector<std::string> mergedKeys_;
};

struct TOpenCase {
    const char* what;
    std::string asked;       // the file type handed to GetOpenProgram, before the run's id
    std::string registered;  // the key it is registered under, before the run's id
    std::optional<std::string> command;
    std::string program;
};

TEST_F(GetOpenProgramTest, ReducesTheRegisteredCommandToTheQuotedProgram)
{
    const TOpenCase cases[] = {
        {"quoted path and option", ".glimmoa", ".glimmoa",
         "\"C:\\Program Files\\Glimmo Browser\\browser.exe\" -nohome",
         "\"C:\\Program Files\\Glimmo Browser\\browser.exe\""},
        {"quoted path and quoted %1", ".glimmob", ".glimmob", "\"C:\\Apps\\viewer.exe\" \"%1\"",
         "\"C:\\Apps\\viewer.exe\""},
        {"unquoted path and %1", ".glimmoc", ".glimmoc", "C:\\Apps\\viewer.exe %1", "\"C:\\Apps\\viewer.exe\""},
        {"single quotes", ".glimmod", ".glimmod", "'C:\\Apps\\viewer.exe' '%1'", "\"C:\\Apps\\viewer.exe\""},
        {"quoted path and /dde", ".glimmoe", ".glimmoe", "\"C:\\Apps\\viewer.exe\" /dde", "\"C:\\Apps\\viewer.exe\""},
        // As "htm" means ".htm".
        {"type without a dot", "glimmof", ".glimmof", "\"C:\\Apps\\web.exe\" -url \"%1\"", "\"C:\\Apps\\web.exe\""},
        {"dot inside the type", "glimmo.g", "glimmo.g", "C:\\Apps\\viewer.exe", "\"C:\\Apps\\viewer.exe\""},
        {"class without a command", ".glimmoh", ".glimmoh", std::nullopt, ""},
        {"empty command", ".glimmoi", ".glimmoi", "", ""},
        {"only the placeholder", ".glimmoj", ".glimmoj", "\"%1\"", ""},
    };
    for (const TOpenCase& c : cases) {
        std::string registered = Unique(c.registered);
        Register(registered, Unique("GlimmoTest.") + registered.substr(registered.find('.') + 1), c.command);
        EXPECT_EQ(GetOpenProgram(Unique(c.asked)), c.program) << c.what;
    }
}

TEST_F(GetOpenProgramTest, UnregisteredTypeGivesEmptyText)
{
    EXPECT_EQ(GetOpenProgram(Unique(".glimmonone")), "");
    EXPECT_EQ(GetOpenProgram(Unique("glimmonone")), "");
    // A class name that leads nowhere.
    Register(Unique(".glimmoorphan"), Unique("GlimmoTest.orphan"), std::nullopt);
    RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Classes\\" + Unique("GlimmoTest.orphan")).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, Unique("GlimmoTest.orphan").c_str());
    EXPECT_EQ(GetOpenProgram(Unique(".glimmoorphan")), "");
}

} // namespace
} // namespace saver
