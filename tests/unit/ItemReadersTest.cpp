// The item readers over small items whose blocks are exactly as long as their
// data (so the sanitizer build catches any read past it), the key tests and
// the file-name check of needed files and of the movie file name.
#include "payload/ItemReaders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace saver {
namespace {

// An item whose block holds exactly the given bytes; no bytes, no block.
// allocated can be larger than the bytes, to show that Size, not the block,
// bounds a read.
TItemType MakeItem(const std::string& name, const std::vector<uint8_t>& bytes, std::size_t allocated = 0)
{
    TItemType item;
    item.Name = name;
    allocated = std::max(allocated, bytes.size());
    if (allocated > 0) {
        item.Data.reset(static_cast<uint8_t*>(std::malloc(allocated)));
        std::memset(item.Data.get(), 0x5A, allocated);
        if (!bytes.empty())
            std::memcpy(item.Data.get(), bytes.data(), bytes.size());
    }
    item.Size = static_cast<int32_t>(bytes.size());
    return item;
}

struct TByteCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::optional<uint8_t> expected;
};

class ItemByteTest : public testing::TestWithParam<TByteCase> {};

TEST_P(ItemByteTest, ReadsFirstByteOnly)
{
    EXPECT_EQ(ItemByte(MakeItem("k", GetParam().bytes)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ItemByteTest,
                         testing::Values(TByteCase{"Empty", {}, std::nullopt}, TByteCase{"Off", {0}, 0},
                                         TByteCase{"On", {1}, 1}, TByteCase{"TwoCountsAsOn", {2}, 2},
                                         TByteCase{"High", {0xFF}, 0xFF},
                                         TByteCase{"OnlyFirstOfMany", {0, 1, 1, 1}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TInt32Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::optional<int32_t> expected;
};

class ItemInt32Test : public testing::TestWithParam<TInt32Case> {};

TEST_P(ItemInt32Test, ReadsFirstFourBytesLittleEndian)
{
    EXPECT_EQ(ItemInt32(MakeItem("k", GetParam().bytes)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ItemInt32Test,
    testing::Values(TInt32Case{"Empty", {}, std::nullopt}, TInt32Case{"OneByte", {7}, std::nullopt},
                    TInt32Case{"TwoBytes", {7, 0}, std::nullopt},
                    TInt32Case{"ThreeBytes", {7, 0, 0}, std::nullopt},
                    TInt32Case{"ExactlyFour", {0x78, 0x56, 0x34, 0x12}, 0x12345678},
                    TInt32Case{"MoreThanFour", {0x00, 0x01, 0x00, 0x00, 0xFF, 0xFF}, 256},
                    TInt32Case{"MinusOne", {0xFF, 0xFF, 0xFF, 0xFF}, -1},
                    TInt32Case{"Minimum", {0x00, 0x00, 0x00, 0x80}, INT32_MIN},
                    TInt32Case{"Maximum", {0xFF, 0xFF, 0xFF, 0x7F}, INT32_MAX}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ItemReaders, SizeNotBlockBoundsTheRead)
{
    // Three bytes of data in an eight-byte block: the rest is not the item's.
    TItemType item = MakeItem("k", {1, 2, 3}, 8);
    EXPECT_EQ(ItemInt32(item), std::nullopt);
    EXPECT_EQ(ItemText(item), std::string("\x01\x02\x03", 3));

    // A block whose Size says nothing is there.
    TItemType none = MakeItem("k", {}, 4);
    EXPECT_EQ(ItemByte(none), std::nullopt);
    EXPECT_EQ(ItemText(none), "");

    // A damaged Size below zero is no data, not a huge read.
    TItemType negative = MakeItem("k", {1, 2, 3, 4});
    negative.Size = -4;
    EXPECT_EQ(ItemByte(negative), std::nullopt);
    EXPECT_EQ(ItemInt32(negative), std::nullopt);
    EXPECT_EQ(ItemText(negative), "");
}

struct TTextCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string expected;
};

class ItemTextTest : public testing::TestWithParam<TTextCase> {};

TEST_P(ItemTextTest, TakesAllBytesAsTheyAre)
{
    std::string text = ItemText(MakeItem("k", GetParam().bytes));
    EXPECT_EQ(text.size(), GetParam().expected.size());
    EXPECT_EQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ItemTextTest,
    testing::Values(TTextCase{"Empty", {}, ""}, TTextCase{"Plain", {'a', '=', '1'}, "a=1"},
                    TTextCase{"ZeroInside", {'a', 0, 'b'}, std::string("a\0b", 3)},
                    TTextCase{"ZeroAtEnd", {'a', 0}, std::string("a\0", 2)},
                    TTextCase{"AnsiBytesUntouched", {0x82, 0xA0, 0xFF}, "\x82\xA0\xFF"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TIsItemCase {
    const char* name;
    std::string itemName;
    std::string key;
    bool expected;
};

class IsItemTest : public testing::TestWithParam<TIsItemCase> {};

TEST_P(IsItemTest, ComparesWholeName)
{
    EXPECT_EQ(IsItem(MakeItem(GetParam().itemName, {}), GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsItemTest,
    testing::Values(TIsItemCase{"Equal", "GUID", "GUID", true},
                    TIsItemCase{"CaseMatters", "guid", "GUID", false},
                    TIsItemCase{"KeyIsPrefixOfName", "GUIDX", "GUID", false},
                    TIsItemCase{"NameIsPrefixOfKey", "GUI", "GUID", false},
                    // A C-string comparison would stop at the zero byte and call these equal.
                    TIsItemCase{"ZeroByteThenMore", std::string("GUID\0x", 6), "GUID", false},
                    TIsItemCase{"ZeroByteBothSides", std::string("GU\0D", 4), std::string("GU\0D", 4), true},
                    TIsItemCase{"ZeroByteDiffersAfter", std::string("GU\0D", 4), std::string("GU\0E", 4), false},
                    TIsItemCase{"EmptyNameEmptyKey", "", "", true},
                    TIsItemCase{"EmptyNameNonEmptyKey", "", "GUID", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct TIndexedCase {
    const char* name;
    std::string itemName;
    std::string prefix;
    std::size_t count;
    std::optional<std::size_t> expected;
};

class MatchIndexedItemTest : public testing::TestWithParam<TIndexedCase> {};

TEST_P(MatchIndexedItemTest, ReadsIndexAfterPrefix)
{
    const TIndexedCase& c = GetParam();
    EXPECT_EQ(MatchIndexedItem(MakeItem(c.itemName, {}), c.prefix, c.count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchIndexedItemTest,
    testing::Values(TIndexedCase{"Zero", "NF0", "NF", 3, 0}, TIndexedCase{"Last", "NF2", "NF", 3, 2},
                    TIndexedCase{"EqualToCount", "NF3", "NF", 3, std::nullopt},
                    TIndexedCase{"CountZero", "NF0", "NF", 0, std::nullopt},
                    TIndexedCase{"MultiDigit", "NF12", "NF", 13, 12},
                    TIndexedCase{"LeadingZeros", "NF007", "NF", 8, 7},
                    TIndexedCase{"OnlyZeros", "NF000", "NF", 1, 0},
                    TIndexedCase{"Negative", "NF-1", "NF", 3, std::nullopt},
                    TIndexedCase{"PlusSign", "NF+1", "NF", 3, std::nullopt},
                    TIndexedCase{"LeadingSpace", "NF 1", "NF", 3, std::nullopt},
                    TIndexedCase{"TrailingLetter", "NF1x", "NF", 3, std::nullopt},
                    TIndexedCase{"HexDigits", "NF$1", "NF", 3, std::nullopt},
                    TIndexedCase{"PrefixAlone", "NF", "NF", 3, std::nullopt},
                    TIndexedCase{"NoPrefix", "XY1", "NF", 3, std::nullopt},
                    TIndexedCase{"PrefixNotAtStart", "xNF1", "NF", 3, 1},
                    // Only the text after the first occurrence counts: "NF1" after "NF" is not a number.
                    TIndexedCase{"PrefixTwice", "NFNF1", "NF", 3, std::nullopt},
                    TIndexedCase{"Int32Max", "NF2147483647", "NF", SIZE_MAX, 2147483647},
                    TIndexedCase{"JustOverInt32", "NF2147483648", "NF", SIZE_MAX, std::nullopt},
                    // Wraps to 0 in 64 bits if the overflow test came too late.
                    TIndexedCase{"WrapsTo64Bits", "NF18446744073709551616", "NF", SIZE_MAX, std::nullopt},
                    TIndexedCase{"ManyZerosThenDigit", "NF00000000000000000001", "NF", 3, 1},
                    TIndexedCase{"ZeroByteAfterDigit", std::string("NF1\0", 4), "NF", 3, std::nullopt},
                    TIndexedCase{"EmptyPrefix", "1", "", 3, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct TFileNameCase {
    const char* name;
    std::string input;
    std::string expected;
};

class ItemFileNameTest : public testing::TestWithParam<TFileNameCase> {};

TEST_P(ItemFileNameTest, KeepsOnlySafeLastComponent)
{
    EXPECT_EQ(ItemFileName(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ItemFileNameTest,
    testing::Values(TFileNameCase{"Plain", "movie.swf", "movie.swf"},
                    TFileNameCase{"NoExtension", "data", "data"},
                    TFileNameCase{"GuidName", "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}.swf",
                                  "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}.swf"},
                    TFileNameCase{"SpaceInside", "my movie.swf", "my movie.swf"},
                    TFileNameCase{"BackslashParents", "..\\..\\x.dll", "x.dll"},
                    TFileNameCase{"SlashParents", "../x.dll", "x.dll"},
                    TFileNameCase{"DrivePath", "C:\\Windows\\x.dll", "x.dll"},
                    TFileNameCase{"UncPath", "\\\\server\\share\\x", "x"},
                    TFileNameCase{"ColonSeparates", "a:b", "b"},
                    TFileNameCase{"MixedSeparators", "a/b\\c:d.txt", "d.txt"},
                    TFileNameCase{"Dot", ".", ""}, TFileNameCase{"DotDot", "..", ""},
                    TFileNameCase{"FolderThenDotDot", "sub\\..", ""}, TFileNameCase{"Empty", "", ""},
                    TFileNameCase{"TrailingSeparator", "sub\\", ""},
                    TFileNameCase{"DriveOnly", "C:", ""},
                    TFileNameCase{"TrailingDot", "x.dll.", ""},
                    TFileNameCase{"DeviceName", "dir\\NUL.txt", ""},
                    TFileNameCase{"ForbiddenCharacter", "a?b", ""},
                    TFileNameCase{"ControlCharacter", "a\tb", ""},
                    TFileNameCase{"ZeroByte", std::string("x.dll\0.txt", 10), ""},
                    TFileNameCase{"ControlInDroppedFolder", "a\x01\\x.dll", ""},
                    TFileNameCase{"Longest", std::string(255, 'a'), std::string(255, 'a')},
                    TFileNameCase{"OneTooLong", std::string(256, 'a'), ""},
                    TFileNameCase{"ThreeHundred", std::string(300, 'a'), ""},
                    TFileNameCase{"LongFolderShortName", std::string(300, 'a') + "\\x.dll", "x.dll"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace saver
