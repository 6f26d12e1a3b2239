// The compile-time encoder: what it makes follows the layout DecodeConstant
// reads (checked here field by field, without the decoder), decodes back to
// the plain text for a table of texts and for every byte value, and draws K,
// P, the filler and R differently for different texts.
#include "payload/EncipheredConstant.h"
#include "payload/TextUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace saver {
namespace {

// A string literal as a template argument, so that one call names a case by
// its text alone and the encoder still runs at compile time.
template <std::size_t Size>
struct TLiteral {
    consteval TLiteral(const char (&literal)[Size]) { std::copy_n(literal, Size, chars); }
    char chars[Size];
};

template <TLiteral Plain>
inline constexpr auto EncipheredOf = EncipherConstant(Plain.chars);

struct TRoundTrip {
    std::string plain;
    std::string_view enciphered;
};

template <TLiteral Plain>
TRoundTrip Case()
{
    return {std::string(Plain.chars, sizeof Plain.chars - 1), EncipheredOf<Plain>.View()};
}

// The fields of an enciphered constant, read by the layout.
struct TFields {
    bool upperHex = true;
    unsigned long rotation = 0;
    std::string core;
    int fillerBytes = 0;
    int key = 0;
};

TFields FieldsOf(std::string_view enciphered)
{
    TFields fields;
    fields.upperHex = std::all_of(enciphered.begin(), enciphered.end(),
                                  [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
    if (!fields.upperHex || enciphered.size() < 12)
        return fields;
    std::string_view stored = enciphered.substr(0, enciphered.size() - 8);
    fields.rotation = std::stoul(std::string(enciphered.substr(enciphered.size() - 8)), nullptr, 16);
    if (fields.rotation > stored.size())
        return fields;
    size_t split = stored.size() - fields.rotation;
    fields.core = std::string(stored.substr(split)) + std::string(stored.substr(0, split));
    fields.fillerBytes = std::stoi(fields.core.substr(0, 2), nullptr, 16);
    fields.key = std::stoi(fields.core.substr(2, 2), nullptr, 16);
    return fields;
}

void ExpectLayout(std::string_view enciphered, size_t plainLength)
{
    TFields fields = FieldsOf(enciphered);
    ASSERT_TRUE(fields.upperHex) << enciphered;
    ASSERT_GE(enciphered.size(), 12u) << enciphered;
    EXPECT_LE(fields.rotation, enciphered.size() - 8) << enciphered;
    EXPECT_LE(fields.fillerBytes, static_cast<int>(MaxFillerBytes)) << enciphered;
    EXPECT_NE(fields.key, 0) << "a zero key would leave the codes readable: " << enciphered;
    EXPECT_EQ(fields.core.size(), 4 + 2 * plainLength + 2 * static_cast<size_t>(fields.fillerBytes)) << enciphered;
}

TEST(EncipherConstant, RoundTripsTexts)
{
    const TRoundTrip cases[] = {
        Case<"">(),
        Case<"A">(),
        Case<"GUID">(),
        Case<"MovieData">(),
        Case<"NeedFileName">(),
        Case<"Scale=ExactFit">(),
        Case<"showall">(),
        Case<"with \"quotes\" and 'apostrophes', 100% %1">(),
        Case<"\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd (Shift_JIS)">(),
        Case<"\t\r\n\x01\x7f\xff">(),
        Case<"0123456789ABCDEF looks like hex already">(),
        Case<"A fixed text of some length, long enough that its core is far longer than the "
             "eight digits of the rotation count and than any filler the encoder adds to it.">(),
    };
    for (const TRoundTrip& c : cases) {
        SCOPED_TRACE(c.plain);
        ExpectLayout(c.enciphered, c.plain.size());
        EXPECT_EQ(DecodeConstant(c.enciphered), c.plain) << c.enciphered;
    }
}

template <std::size_t... Byte>
consteval auto EncipherEachByte(std::index_sequence<Byte...>)
{
    return std::array{EncipherBytes(std::array<char, 1>{static_cast<char>(Byte)})...};
}

constexpr auto SingleBytes = EncipherEachByte(std::make_index_sequence<256>{});

constexpr auto AllBytes = []() consteval {
    std::array<char, 256> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i);
    return EncipherBytes(bytes);
}();

TEST(EncipherBytes, RoundTripsEveryByteValue)
{
    for (size_t byte = 0; byte < SingleBytes.size(); ++byte) {
        SCOPED_TRACE(byte);
        ExpectLayout(SingleBytes[byte].View(), 1);
        EXPECT_EQ(DecodeConstant(SingleBytes[byte].View()), std::string(1, static_cast<char>(byte)));
    }
    std::string every(256, '\0');
    for (size_t i = 0; i < every.size(); ++i)
        every[i] = static_cast<char>(i);
    ExpectLayout(AllBytes.View(), every.size());
    EXPECT_EQ(DecodeConstant(AllBytes.View()), every);
}

TEST(EncipherBytes, DrawsKeyFillerAndRotationPerText)
{
    std::set<int> keys;
    std::set<int> fillerCounts;
    std::set<std::string> fillers;
    bool unrotated = false;
    bool fullyRotated = false;
    for (const auto& constant : SingleBytes) {
        TFields fields = FieldsOf(constant.View());
        keys.insert(fields.key);
        fillerCounts.insert(fields.fillerBytes);
        fillers.insert(fields.core.substr(6));
        unrotated = unrotated || fields.rotation == 0;
        fullyRotated = fullyRotated || fields.rotation == fields.core.size();
    }
    // 256 texts drawing from 255 keys and 8 filler counts.
    EXPECT_GE(keys.size(), 100u);
    EXPECT_EQ(fillerCounts.size(), MaxFillerBytes + 1);
    EXPECT_GE(fillers.size(), 200u);
    EXPECT_TRUE(unrotated);
    EXPECT_TRUE(fullyRotated);
}

TEST(EncipherConstant, DependsOnTheWholeText)
{
    // Texts that differ only at the end, or only by a trailing zero, get
    // constants of their own.
    std::set<std::string_view> constants = {
        EncipheredOf<"NeedFileName">.View(), EncipheredOf<"NeedFileNamf">.View(), EncipheredOf<"NeedFileData">.View(),
        EncipheredOf<"A">.View(), SingleBytes[0].View()};
    EXPECT_EQ(constants.size(), 5u);
    EXPECT_NE(EncipherBytes(std::array<char, 2>{'A', '\0'}).View(), EncipheredOf<"A">.View());
}

} // namespace
} // namespace saver
