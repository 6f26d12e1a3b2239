// The payload reader on real Windows files: a built saver.scr, the running
// test executable's own image, and a file another handle holds open for writing.
#include "TestFiles.h"

#include "payload/ExeAdder.h"
#include "saverkit/PayloadWriter.h"
#include "win/Handle.h"
#include "win/ModulePath.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>

namespace saver {
namespace {

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PayloadOnSaver : public testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        copy_ = std::string(temp) + "payload-on-saver-" + std::to_string(GetCurrentProcessId()) + ".scr";
        image_ = ReadAll(test::ThisExecutableFolder() + "\\saver.scr");
        ASSERT_GT(image_.size(), 1024u) << "saver.scr is expected next to the test executable";
    }
    void TearDown() override { DeleteFileA(copy_.c_str()); }

    void WriteSaver(const std::vector<saverkit::TPayloadItem>& items)
    {
        std::vector<uint8_t> file = image_;
        std::vector<uint8_t> payload = saverkit::EncodePayload(items, {0xC0FFEE42, 6});
        file.insert(file.end(), payload.begin(), payload.end());
        std::ofstream(copy_, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    }

    std::string copy_;
    std::vector<uint8_t> image_;
};

TEST_F(PayloadOnSaver, ReadsTheItemsBehindARealSaverImage)
{
    std::vector<uint8_t> movie(300000);
    for (size_t i = 0; i < movie.size(); ++i)
        movie[i] = static_cast<uint8_t>(i % 251);
    WriteSaver({{"MovieData", movie, true}, {"MovieName", {'m', '.', 's', 'w', 'f'}, false}});

    TItemTypes items;
    ReadPayloadItems(copy_, items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Name, "MovieData");
    EXPECT_EQ(std::vector<uint8_t>(items[0].Bytes(), items[0].Bytes() + items[0].Size), movie);
    EXPECT_EQ(items[1].Size, 5);
}

TEST_F(PayloadOnSaver, ReadsWhileAnotherHandleHasTheFileOpenForWriting)
{
    WriteSaver({{"Caption", {'G'}, false}});
    win::TFileHandle writer(CreateFileA(copy_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    TItemTypes items;
    ReadPayloadItems(copy_, items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Name, "Caption");
}

TEST_F(PayloadOnSaver, AnImageWithoutPayloadAndAMissingFileGiveNoItems)
{
    TItemTypes items;
    ReadPayloadItems(win::ModuleFileName(), items);
    EXPECT_TRUE(items.empty());
    ReadPayloadItems(test::ThisExecutableFolder() + "\\saver.scr", items);
    EXPECT_TRUE(items.empty());
    ReadPayloadItems(copy_ + ".missing", items);
    EXPECT_TRUE(items.empty());
}

} // namespace
} // namespace saver
