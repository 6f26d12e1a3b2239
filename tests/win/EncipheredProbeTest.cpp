// The enciphered constants in a real Windows binary: encipheredprobe.exe
// (next to this executable) prints the plain text of a constant made with
// EncipherConstant; its file must hold the enciphered text and nowhere the
// plain one, neither as bytes nor as UTF-16.
#include "TestFiles.h"
#include "probe/EncipheredProbeText.h"

#include "payload/EncipheredConstant.h"
#include "win/Handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace saver {
namespace {

using test::ThisExecutableFolder;
using test::ReadWholeFile;

constexpr std::string_view PlainText = SAVER_ENCIPHERED_PROBE_TEXT;
constexpr auto Enciphered = EncipherConstant(SAVER_ENCIPHERED_PROBE_TEXT);

std::string Utf16Bytes(std::string_view ascii)
{
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// Runs program with its standard output going to a file and gives back what
// it wrote; fails the test when it does not end within the time.
std::string OutputOf(const std::string& program)
{
    char folder[MAX_PATH];
    char outputPath[MAX_PATH];
    EXPECT_NE(GetTempPathA(MAX_PATH, folder), 0u);
    EXPECT_NE(GetTempFileNameA(folder, "enc", 0, outputPath), 0u);
    std::string output;
    {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        win::TFileHandle file(CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(file);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = file.Get();
        startup.hStdError = file.Get();
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        PROCESS_INFORMATION process{};
        std::string commandLine = "\"" + program + "\"";
        if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "cannot start " << program << ": error " << GetLastError();
        } else {
            win::TKernelHandle processHandle(process.hProcess);
            win::TKernelHandle threadHandle(process.hThread);
            if (WaitForSingleObject(processHandle.Get(), 30000) != WAIT_OBJECT_0) {
                TerminateProcess(processHandle.Get(), 1);
                ADD_FAILURE() << program << " did not end";
            }
            DWORD exitCode = 1;
            GetExitCodeProcess(processHandle.Get(), &exitCode);
            EXPECT_EQ(exitCode, 0u);
        }
    }
    output = ReadWholeFile(outputPath);
    DeleteFileA(outputPath);
    return output;
}

void ExpectOnlyEnciphered(const std::string& image)
{
    ASSERT_GT(image.size(), 1024u);
    EXPECT_EQ(image.find(PlainText), std::string::npos) << "plain text in the binary";
    EXPECT_EQ(image.find(Utf16Bytes(PlainText)), std::string::npos) << "plain text as UTF-16 in the binary";
    // A part of it would do as well for anyone reading the file.
    EXPECT_EQ(image.find(PlainText.substr(0, 16)), std::string::npos) << "start of the plain text in the binary";
    EXPECT_NE(image.find(Enciphered.View()), std::string::npos) << "enciphered text missing from the binary";
}

TEST(EncipheredProbe, PrintsThePlainTextItHoldsOnlyEnciphered)
{
    std::string probe = ThisExecutableFolder() + "\\encipheredprobe.exe";
    EXPECT_EQ(OutputOf(probe), PlainText);
    ExpectOnlyEnciphered(ReadWholeFile(probe));
}

// The 32-bit build cannot run here, but its bytes can be read, when that
// build has been made (dist/x86 beside this executable's dist/x64).
TEST(EncipheredProbe, X86BuildHoldsOnlyTheEncipheredText)
{
    std::string probe = ThisExecutableFolder() + "\\..\\x86\\encipheredprobe.exe";
    if (GetFileAttributesA(probe.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no x86 build at " << probe;
    ExpectOnlyEnciphered(ReadWholeFile(probe));
}

} // namespace
} // namespace saver
