// GetProductVersionText on the test DLLs next to this executable:
// verprobe.dll carries a version resource whose fixed product version is
// 31.7.65535.2 (its file version and its ProductVersion string differ from
// that), noverprobe.dll has no resource at all.
#include "TestFiles.h"
#include "payload/VersionText.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace saver {
namespace {

using test::ThisExecutableFolder;

struct TVersionCase {
    const char* what;
    std::string path;
    const char* version;
};

TEST(GetProductVersionText, ReadsTheFixedProductVersion)
{
    std::string folder = ThisExecutableFolder();
    std::string textFile = folder + "\\versiontext-test.txt";
    std::ofstream(textFile) << "no resources in here";
    const TVersionCase cases[] = {
        {"version resource", folder + "\\verprobe.dll", "31.7.65535.2"},
        {"no version resource", folder + "\\noverprobe.dll", ""},
        {"not an executable", textFile, ""},
        {"missing file", folder + "\\no-such-file.dll", ""},
        {"empty path", "", ""},
        {"zero inside", folder + "\\verprobe.dll" + std::string(1, '\0') + "x", ""},
    };
    for (const TVersionCase& c : cases)
        EXPECT_EQ(GetProductVersionText(c.path), c.version) << c.what;
    DeleteFileA(textFile.c_str());
}

} // namespace
} // namespace saver
