// saverkit end to end in one process: build, list and extract through the
// same entry point as the command line, on files in a scratch folder.
#include "saverkit/Commands.h"
#include "saverkit/JsonText.h"

#include "payload/ExeAdder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace saverkit {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct TRun {
    int code;
    std::string out, err;
};

class SaverkitTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("saverkit-test-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        Spit(Path("saver.scr"), "MZ\x90\x00 the saver image"s);
        Spit(Path("movie.swf"), std::string(100000, 'M') + "FWS end");
        Spit(Path("pic.bmp"), "BM tiny");
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    TRun Run(std::vector<std::string> args)
    {
        std::ostringstream out, err;
        int code = RunSaverkit(args, out, err);
        return {code, out.str(), err.str()};
    }

    TRun BuildSample(const std::string& output, const std::string& exe = "saver.scr")
    {
        return Run({"build", "--exe", Path(exe), "-o", Path(output), "--key", "0x1234A5", "--zitem",
                    "Movie=" + Path("movie.swf"), "--item", "Pic\\x00\\xe9=" + Path("pic.bmp"), "--text",
                    "Caption=Glimmo = ScreenSaver", "--text", "Empty="});
    }

    std::set<fs::path> Files() const
    {
        std::set<fs::path> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.insert(entry.path().filename());
        return names;
    }

    fs::path folder_;
};

TEST_F(SaverkitTest, BuildThenListShowsEveryItemInOrder)
{
    std::string imageBefore = Slurp(Path("saver.scr"));
    ASSERT_EQ(BuildSample("out.scr").code, 0);
    EXPECT_EQ(Slurp(Path("saver.scr")), imageBefore);
    EXPECT_EQ(Slurp(Path("out.scr")).substr(0, imageBefore.size()), imageBefore);

    TRun json = Run({"list", Path("out.scr"), "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    saver::TItemTypes items;
    std::vector<int32_t> stored;
    saver::ReadPayloadItems(Path("out.scr"), items, {saver::MaxItemSize, &stored});
    ASSERT_EQ(items.size(), 4u);
    std::string expected = "[\n"
                           " {\"index\": 0, \"name\": \"Movie\", \"compressed\": true, \"stored_size\": " +
                           std::to_string(stored[0]) +
                           ", \"plain_size\": 100007},\n"
                           " {\"index\": 1, \"name\": \"Pic\\u0000\xc3\xa9\", \"compressed\": false, "
                           "\"stored_size\": 7, \"plain_size\": 7},\n"
                           " {\"index\": 2, \"name\": \"Caption\", \"compressed\": false, \"stored_size\": 20, "
                           "\"plain_size\": 20},\n"
                           " {\"index\": 3, \"name\": \"Empty\", \"compressed\": false, \"stored_size\": 0, "
                           "\"plain_size\": 0}\n"
                           "]\n";
    EXPECT_EQ(json.out, expected);
    EXPECT_LT(stored[0], 2000);

    TRun table = Run({"list", Path("out.scr")});
    ASSERT_EQ(table.code, 0);
    EXPECT_NE(table.out.find("Pic\\x00\\xe9"), std::string::npos) << table.out;
}

TEST_F(SaverkitTest, ExtractWritesThePlainBytesOfTheNamedItem)
{
    ASSERT_EQ(BuildSample("out.scr").code, 0);
    ASSERT_EQ(Run({"extract", Path("out.scr"), "Movie", "-o", Path("movie.out")}).code, 0);
    EXPECT_EQ(Slurp(Path("movie.out")), Slurp(Path("movie.swf")));
    ASSERT_EQ(Run({"extract", Path("out.scr"), "Pic\\x00\\xe9", "-o", Path("pic.out")}).code, 0);
    EXPECT_EQ(Slurp(Path("pic.out")), "BM tiny");

    TRun missing = Run({"extract", Path("out.scr"), "Nothing", "-o", Path("none.out")});
    EXPECT_NE(missing.code, 0);
    EXPECT_NE(missing.err.find("no item called Nothing"), std::string::npos);
    EXPECT_FALSE(fs::exists(Path("none.out")));
}

TEST_F(SaverkitTest, RebuildingABuiltSaverReplacesItsPayload)
{
    ASSERT_EQ(BuildSample("first.scr").code, 0);
    ASSERT_EQ(Run({"build", "--exe", Path("first.scr"), "-o", Path("second.scr"), "--text", "Only=1"}).code, 0);
    saver::TItemTypes items;
    saver::ReadPayloadItems(Path("second.scr"), items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Name, "Only");
    EXPECT_EQ(fs::file_size(Path("second.scr")), fs::file_size(Path("saver.scr")) + 8 + 4 + 1 + 4 + 1 + 4 + 12);
}

TEST_F(SaverkitTest, FailuresLeaveNoOutputAndNeverTouchTheInput)
{
    std::string imageBefore = Slurp(Path("saver.scr"));
    std::set<fs::path> before = Files();
    struct {
        std::vector<std::string> args;
        int code;
        const char* message;
    } cases[] = {
        {{"build", "--exe", Path("saver.scr"), "-o", Path("o.scr"), "--item", "M=" + Path("nope.swf")}, 1,
         "cannot open"},
        {{"build", "--exe", Path("nope.scr"), "-o", Path("o.scr")}, 1, "cannot open"},
        {{"build", "--exe", Path("saver.scr"), "-o", Path("saver.scr"), "--text", "a=b"}, 1, "must not be the saver"},
        {{"build", "--exe", Path("saver.scr"), "-o", Path("o.scr"), "--item", "noequals"}, 2, "expects NAME=VALUE"},
        {{"build", "--exe", Path("saver.scr"), "-o", Path("o.scr"), "--text", "bad\\q=1"}, 2, "backslash"},
        {{"build", "--exe", Path("saver.scr"), "-o", Path("o.scr"), "--key", "0x1FFFFFFFF"}, 2, "--key"},
        {{"build", "--exe", Path("saver.scr"), "-o", Path("o.scr"), "--level", "10"}, 2, "--level"},
        {{"build", "-o", Path("o.scr")}, 2, "needs --exe"},
        {{"build", "--exe"}, 2, "--exe needs a value"},
        {{"build", "--frobnicate"}, 2, "unknown option"},
        {{"list"}, 2, "needs a FILE"},
        {{"list", Path("nope.scr")}, 1, "cannot open"},
        {{"extract", Path("saver.scr"), "Movie"}, 2, "needs FILE, NAME and -o"},
        {{"launch"}, 2, "unknown command"},
        {{}, 2, "usage"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args.back());
        TRun run = Run(c.args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(Slurp(Path("saver.scr")), imageBefore);
}

TEST_F(SaverkitTest, ListOfADamagedPayloadFailsWithTheReadersMessage)
{
    ASSERT_EQ(BuildSample("out.scr").code, 0);
    std::string bytes = Slurp(Path("out.scr"));
    // Point the body length before the start of the file.
    bytes[bytes.size() - 12 + 6] = 0x7F;
    Spit(Path("bad.scr"), bytes);
    TRun run = Run({"list", Path("bad.scr"), "--json"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("points before the start of the file"), std::string::npos) << run.err;
}

TEST_F(SaverkitTest, EveryCommandHasHelp)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--help"}, {"build", "--help"}, {"list", "--help"},
                                          {"extract", "-h"}}) {
        TRun run = Run(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out.rfind("usage: saverkit", 0), 0u) << run.out;
    }
}

TEST(JsonByteString, EveryByteSurvivesAsItsCodePoint)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    std::string json = JsonByteString(all);
    // Decode the literal again: \uXXXX, \" and \\ escapes, two-byte UTF-8 for 0x80-0xFF.
    std::string back;
    for (size_t i = 1; i + 1 < json.size(); ++i) {
        auto c = static_cast<unsigned char>(json[i]);
        if (c == '\\' && json[i + 1] == 'u') {
            back += static_cast<char>(std::stoi(json.substr(i + 2, 4), nullptr, 16));
            i += 5;
        } else if (c == '\\') {
            back += json[++i];
        } else if (c >= 0xC0) {
            back += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(json[++i]) & 0x3F));
        } else {
            ASSERT_GE(c, 0x20);
            back += static_cast<char>(c);
        }
    }
    EXPECT_EQ(back, all);
    EXPECT_EQ(JsonByteString("a\"b\\"), "\"a\\\"b\\\\\"");
}

TEST(DecodeNameArgument, UndoesThePrintableListing)
{
    std::string name("\x00\\A\xff=", 5);
    EXPECT_EQ(DecodeNameArgument(PrintableName(name)), name);
    EXPECT_THROW(DecodeNameArgument("\\x4"), std::exception);
}

} // namespace
} // namespace saverkit
