// The payload container: what the builder writes, the reader gives back; every
// inconsistent length is refused with its own error and nothing is kept.
#include "PayloadBytes.h"

#include "payload/ExeAdder.h"
#include "payload/MemoryReadStream.h"
#include "saverkit/PayloadWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <numeric>

namespace saver {
namespace {

using saver::test::TPayloadBytes;
using saverkit::TPayloadItem;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
    return data;
}

std::vector<uint8_t> SaverWith(const std::vector<TPayloadItem>& items, uint32_t key = 0x5A)
{
    std::vector<uint8_t> file = Bytes("MZ\x90 pretend executable image");
    std::vector<uint8_t> payload = saverkit::EncodePayload(items, {key, 6});
    file.insert(file.end(), payload.begin(), payload.end());
    return file;
}

TItemTypes Read(const std::vector<uint8_t>& file, TPayloadReadOptions options = {})
{
    TMemoryReadStream stream(file);
    TItemTypes items;
    ReadPayloadItems(stream, items, options);
    return items;
}

std::vector<uint8_t> Plain(const TItemType& item)
{
    return item.Data ? std::vector<uint8_t>(item.Bytes(), item.Bytes() + item.Size) : std::vector<uint8_t>{};
}

TEST(ReadPayloadItems, RoundTripKeepsOrderNamesFlagsAndBytes)
{
    std::vector<TPayloadItem> written = {
        {"Movie", Pattern(200000), true},
        {"Caption", Bytes("Glimmo"), false},
        {"EmptyStored", {}, false},
        {"EmptyCompressed", {}, true},
        {"Caption", Bytes("second of the same name"), false},
        {std::string("\x5A\x00\xA5z", 4), Bytes("key byte, zero and high byte in the name"), true},
        {"", Bytes("no name"), false},
    };
    TItemTypes items = Read(SaverWith(written));
    ASSERT_EQ(items.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        EXPECT_EQ(items[i].Name, written[i].Name);
        EXPECT_EQ(items[i].Compressed != 0, written[i].Compress);
        EXPECT_EQ(Plain(items[i]), written[i].Data);
        EXPECT_EQ(items[i].Size, static_cast<int32_t>(written[i].Data.size()));
        EXPECT_EQ(items[i].Data == nullptr, written[i].Data.empty());
    }
}

TEST(ReadPayloadItems, OnlyTheLowByteOfTheNameKeyScramblesNames)
{
    std::vector<TPayloadItem> written = {{"MovieName", Bytes("m.swf"), false}};
    std::vector<uint8_t> low = SaverWith(written, 0x0000005A);
    std::vector<uint8_t> high = SaverWith(written, 0xABCDEF5A);
    EXPECT_NE(low, high);
    EXPECT_EQ(Read(high)[0].Name, "MovieName");
    EXPECT_EQ(Read(low)[0].Name, "MovieName");
    // The stored name really is scrambled: the plain text is not in the file.
    EXPECT_EQ(std::search(high.begin(), high.end(), written[0].Name.begin(), written[0].Name.end()), high.end());
}

TEST(ReadPayloadItems, NameByteEqualToKeyBecomesZeroAndCountsInComparisons)
{
    // Stored name "A" XOR key 'A' is a zero byte; the name is one byte long, not empty.
    std::vector<uint8_t> file = TPayloadBytes().Int32('A').Int32(1).Record("A", 0, Bytes("x")).WithTrailer();
    TItemTypes items = Read(file);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Name, std::string(1, '\0'));
    EXPECT_NE(items[0].Name, "");
}

TEST(ReadPayloadItems, BytesBetweenLastRecordAndTrailerAreIgnored)
{
    std::vector<uint8_t> file =
        TPayloadBytes().Int32(0).Int32(1).Record("a", 0, Bytes("b")).Text("trailing junk PLWS").WithTrailer();
    TItemTypes items = Read(file);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(Plain(items[0]), Bytes("b"));
}

TEST(ReadPayloadItems, LengthOfZeroOrLessMeansNoDataAndConsumesNothing)
{
    // A negative stored length reads no bytes; the record after it still lines up.
    std::vector<uint8_t> file = TPayloadBytes()
                                    .Int32(0)
                                    .Int32(4)
                                    .Int32(1).Text("s").Byte(0).Int32(0)
                                    .Int32(1).Text("z").Byte(1).Int32(0)
                                    .Int32(1).Text("n").Byte(0).Int32(-7)
                                    .Record("last", 0, Bytes("ok"))
                                    .WithTrailer();
    TItemTypes items = Read(file);
    ASSERT_EQ(items.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i].Data, nullptr) << i;
        EXPECT_EQ(items[i].Size, 0) << i;
    }
    EXPECT_EQ(items[1].Compressed, 1);
    EXPECT_EQ(Plain(items[3]), Bytes("ok"));
}

TEST(ReadPayloadItems, AnyNonzeroFlagMeansCompressed)
{
    std::vector<uint8_t> packed = saverkit::ZlibCompress(Pattern(1000), 9);
    std::vector<uint8_t> file = TPayloadBytes().Int32(0).Int32(1).Record("m", 0xFF, packed).WithTrailer();
    TItemTypes items = Read(file);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Compressed, 0xFF);
    EXPECT_EQ(Plain(items[0]), Pattern(1000));
}

TEST(ReadPayloadItems, FilesWithoutPayloadGiveAnEmptyListWithoutError)
{
    for (const std::string& content : {std::string(), std::string("PLW"), std::string("MZ just an image"),
                                       std::string("MZ image ending in plws"), std::string(12, '\0')}) {
        SCOPED_TRACE(content);
        TItemTypes items;
        items.push_back(TItemType{"stale", nullptr, 0, 0});
        TMemoryReadStream stream(std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
        EXPECT_NO_THROW(ReadPayloadItems(stream, items));
        EXPECT_TRUE(items.empty());
    }
    EXPECT_TRUE(Read(TPayloadBytes().Int32(0x12345678).Int32(0).WithTrailer()).empty());
}

struct TMalformedCase {
    const char* what;
    std::vector<uint8_t> file;
    int itemIndex;
    const char* message;
};

std::vector<TMalformedCase> MalformedCases()
{
    std::vector<uint8_t> packed = saverkit::ZlibCompress(Pattern(100), 6);
    // One record announced; each case writes a fresh copy.
    auto header = [] { return TPayloadBytes().Int32(0).Int32(1); };
    return {
        {"trailer alone", TPayloadBytes("").WithTrailer(0), -1, "payload: body length 0 leaves no room"},
        {"magic alone", Bytes("PLWS"), -1, "too short for the trailer"},
        {"body length before the file", header().Record("a", 0, Bytes("b")).WithTrailer(1000), -1,
         "points before the start of the file"},
        {"body length negative", header().WithTrailer(-5), -1, "body length -5 leaves no room"},
        {"body length far out", header().WithTrailer(INT64_MAX), -1, "points before the start"},
        {"count negative", TPayloadBytes().Int32(0).Int32(-1).WithTrailer(), -1, "item count -1 is negative"},
        {"count larger than the body holds",
         TPayloadBytes().Int32(0).Int32(3).Record("", 0, {}).Record("", 0, {}).WithTrailer(), -1,
         "item count 3 cannot fit"},
        {"count near the 32-bit limit", TPayloadBytes().Int32(0).Int32(INT32_MAX).Text("123456789").WithTrailer(), -1,
         "cannot fit"},
        {"name length negative",
         TPayloadBytes().Int32(0).Int32(2).Record("a", 0, {}).Int32(-1).Text("xxxxxxxxxxx").WithTrailer(), 1,
         "item 1: name length -1 is negative"},
        {"name length past the body", header().Int32(0x7FFFFFFF).Text("abcdefghij").WithTrailer(), 0,
         "item 0: name length 2147483647 runs past the end of the body"},
        {"stored length past the body", header().Int32(1).Text("n").Byte(0).Int32(50).Text("short").WithTrailer(), 0,
         "item 0: stored length 50 runs past the end of the body"},
        {"compressed length past the body", header().Int32(1).Text("n").Byte(1).Int32(INT32_MAX).Raw(packed).WithTrailer(),
         0, "stored length 2147483647 runs past"},
        {"body ends inside the flag",
         TPayloadBytes().Int32(0).Int32(2).Record("a", 0, {}).Int32(4).Text("name").WithTrailer(), 1,
         "item 1: the body ends inside the compressed flag"},
        {"body ends inside the stored length",
         TPayloadBytes().Int32(0).Int32(2).Record("a", 0, {}).Int32(1).Text("n").Byte(0).Text("xyz").WithTrailer(), 1,
         "item 1: the body ends inside the stored length"},
        // The record's data runs into the trailer: the trailer is not part of the body.
        {"data overlapping the trailer", header().Int32(1).Text("n").Byte(0).Int32(13).WithTrailer(), 0,
         "stored length 13 runs past"},
    };
}

TEST(ReadPayloadItems, InconsistentLengthsAreRefusedWithTheirOwnError)
{
    for (const TMalformedCase& c : MalformedCases()) {
        SCOPED_TRACE(c.what);
        TItemTypes items;
        items.push_back(TItemType{"stale", nullptr, 0, 0});
        std::vector<int32_t> stored = {42};
        TMemoryReadStream stream(c.file);
        try {
            ReadPayloadItems(stream, items, {MaxItemSize, &stored});
            ADD_FAILURE() << "no error";
        } catch (const EDecompressionError& error) {
            ADD_FAILURE() << "decompression error instead: " << error.what();
        } catch (const EPayloadError& error) {
            EXPECT_EQ(error.ItemIndex(), c.itemIndex);
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
        EXPECT_TRUE(items.empty());
        EXPECT_TRUE(stored.empty());
    }
}

std::vector<uint8_t> WithDictionary()
{
    z_stream stream{};
    deflateInit(&stream, 6);
    const Bytef dictionary[] = "a preset dictionary";
    deflateSetDictionary(&stream, dictionary, sizeof dictionary);
    std::vector<uint8_t> in = Pattern(500), out(1000);
    stream.next_in = in.data();
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

TEST(ReadPayloadItems, DamagedStreamsFailWithZlibsTextAndKeepNothing)
{
    std::vector<uint8_t> good = saverkit::ZlibCompress(Pattern(5000), 6);
    std::vector<uint8_t> badHeader = good;
    badHeader[0] ^= 0xFF;
    std::vector<uint8_t> badChecksum = good;
    badChecksum.back() ^= 0x01;
    std::vector<uint8_t> cutShort(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    struct {
        const char* what;
        std::vector<uint8_t> stream;
        const char* message;
    } cases[] = {
        {"header", badHeader, "data error"},
        {"checksum", badChecksum, "data error"},
        {"cut short", cutShort, "buffer error"},
        {"preset dictionary", WithDictionary(), "need dictionary"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file =
            TPayloadBytes().Int32(0).Int32(2).Record("first", 1, good).Record("movie", 1, c.stream).WithTrailer();
        TItemTypes items;
        TMemoryReadStream stream(file);
        try {
            ReadPayloadItems(stream, items);
            ADD_FAILURE() << "no error";
        } catch (const EDecompressionError& error) {
            EXPECT_STREQ(error.what(), c.message);
            EXPECT_EQ(error.ItemIndex(), 1);
        }
        EXPECT_TRUE(items.empty());
    }
}

TEST(ReadPayloadItems, InflationStopsAtTheLargestItemSize)
{
    std::vector<uint8_t> file = SaverWith({{"m", std::vector<uint8_t>(1 << 20, 'z'), true}});
    EXPECT_EQ(Read(file, {1 << 20, nullptr})[0].Size, 1 << 20);
    try {
        Read(file, {(1 << 20) - 1, nullptr});
        ADD_FAILURE() << "no error";
    } catch (const EPayloadError& error) {
        EXPECT_EQ(error.ItemIndex(), 0);
        EXPECT_NE(std::string(error.what()).find("inflates past the largest item size of 1048575"),
                  std::string::npos);
    }
    std::vector<uint8_t> stored = SaverWith({{"s", Pattern(5000), false}});
    EXPECT_THROW(Read(stored, {4999, nullptr}), EPayloadError);
    // A limit below the inflater's first buffer size still holds exactly.
    std::vector<uint8_t> tiny = SaverWith({{"t", Pattern(10), true}});
    EXPECT_EQ(Plain(Read(tiny, {10, nullptr})[0]), Pattern(10));
    EXPECT_THROW(Read(tiny, {9, nullptr}), EPayloadError);
    // A stream that inflates to nothing fits any limit; a limit above 32 bits is held to 32 bits.
    std::vector<uint8_t> empty = test::TPayloadBytes().Int32(0).Int32(1).Record("e", 1, saverkit::ZlibCompress({}, 6)).WithTrailer();
    EXPECT_EQ(Read(empty, {0, nullptr})[0].Size, 0);
    EXPECT_EQ(Read(tiny, {INT64_MAX, nullptr})[0].Size, 10);
}

TEST(ReadPayloadItems, ReportsStoredSizesOfEveryRecord)
{
    std::vector<uint8_t> packed = saverkit::ZlibCompress(Pattern(3000), 6);
    std::vector<uint8_t> file =
        TPayloadBytes().Int32(0).Int32(3).Record("z", 1, packed).Record("s", 0, Bytes("abc")).Record("e", 0, {}).WithTrailer();
    std::vector<int32_t> stored;
    TItemTypes items = Read(file, {MaxItemSize, &stored});
    EXPECT_EQ(stored, (std::vector<int32_t>{static_cast<int32_t>(packed.size()), 3, 0}));
    EXPECT_EQ(items[0].Size, 3000);
}

TEST(ReadPayloadItems, ReadsTheNamedFileAndTreatsAMissingOneAsNoPayload)
{
    auto folder = std::filesystem::temp_directory_path() / ("payload-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::string path = (folder / "saver.scr").string();
    std::vector<uint8_t> file = SaverWith({{"Movie", Pattern(70000), true}, {"Name", Bytes("x"), false}});
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());

    TItemTypes items;
    ReadPayloadItems(path, items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(Plain(items[0]), Pattern(70000));
    FreeItems(items);
    EXPECT_TRUE(items.empty());

    items.push_back(TItemType{"stale", nullptr, 0, 0});
    EXPECT_NO_THROW(ReadPayloadItems((folder / "missing.scr").string(), items));
    EXPECT_TRUE(items.empty());
    EXPECT_NO_THROW(ReadPayloadItems(folder.string(), items));
    EXPECT_TRUE(items.empty());
    std::filesystem::remove_all(folder);
}

TEST(XorItemName, KeepsLengthAndUndoesItself)
{
    std::string name("Mo\0vie\xff", 7);
    for (int key : {0x00, 0x5A, 0xFF}) {
        std::string scrambled = XorItemName(name, static_cast<uint8_t>(key));
        EXPECT_EQ(scrambled.size(), name.size());
        EXPECT_EQ(XorItemName(scrambled, static_cast<uint8_t>(key)), name);
    }
    EXPECT_EQ(XorItemName("A", 'A'), std::string(1, '\0'));
}

TEST(ReadStream, TypedReadersAreLittleEndianAndRefuseShortOrBadLengths)
{
    std::vector<uint8_t> bytes = TPayloadBytes("").Int32(-2).Int64(0x0102030405060708).Byte(0x80).Int32(3).Text("abc")
                                     .Int32(-1).WithTrailer(0);
    TMemoryReadStream stream(bytes);
    EXPECT_EQ(stream.ReadInt32(), -2);
    EXPECT_EQ(stream.ReadInt64(), 0x0102030405060708);
    EXPECT_EQ(stream.ReadByte(), 0x80);
    EXPECT_EQ(stream.ReadString(), "abc");
    EXPECT_THROW(stream.ReadString(), EStreamError);

    std::vector<uint8_t> tooLongBytes = TPayloadBytes("").Int32(100).Text("abc").WithTrailer(0);
    TMemoryReadStream tooLong(tooLongBytes);
    EXPECT_THROW(tooLong.ReadString(), EStreamError);
    std::vector<uint8_t> twoBytes = Bytes("ab");
    TMemoryReadStream shortInt(twoBytes);
    EXPECT_THROW(shortInt.ReadInt32(), EStreamError);
    EXPECT_THROW(shortInt.Seek(-3, TSeekOrigin::End), EStreamError);
}

} // namespace
} // namespace saver

namespace saver {
namespace {

// One zlib stream of `size` zero bytes, made in slices so the plain bytes never exist whole.
std::vector<uint8_t> ZerosStream(int64_t size)
{
    z_stream stream{};
    deflateInit(&stream, 1);
    std::vector<uint8_t> zeros(1 << 20), out;
    std::vector<uint8_t> slice(1 << 16);
    for (int64_t left = size; left >= 0;) {
        auto take = static_cast<uInt>(std::min<int64_t>(left, static_cast<int64_t>(zeros.size())));
        left -= take;
        bool last = left == 0;
        stream.next_in = zeros.data();
        stream.avail_in = take;
        do {
            stream.next_out = slice.data();
            stream.avail_out = static_cast<uInt>(slice.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.insert(out.end(), slice.data(), slice.data() + (slice.size() - stream.avail_out));
        } while (stream.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&stream);
    return out;
}

#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
constexpr bool RunsHugeInflation = false;
#else
constexpr bool RunsHugeInflation = true;
#endif

TEST(ReadPayloadItems, AnItemInflatingPastTwoGibibytesFails)
{
    if (!RunsHugeInflation)
        GTEST_SKIP() << "needs 2 GiB and seconds of inflation; run by the plain native build";
    std::vector<uint8_t> file =
        test::TPayloadBytes().Int32(0).Int32(1).Record("huge", 1, ZerosStream(MaxItemSize + 1)).WithTrailer();
    TMemoryReadStream stream(file);
    TItemTypes items;
    try {
        ReadPayloadItems(stream, items);
        ADD_FAILURE() << "no error";
    } catch (const EPayloadError& error) {
        EXPECT_NE(std::string(error.what()).find("item 0: inflates past the largest item size of 2147483647"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(items.empty());
}

} // namespace
} // namespace saver
