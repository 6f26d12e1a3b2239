#include "payload/ExeAdder.h"

#include "payload/FileReadStream.h"
#include "payload/Inflate.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace saver {

namespace {

std::string Bytes(int64_t count) { return std::to_string(count) + " bytes"; }

// Reads the records of one body, checking every length against the bytes that
// are really left in the body before it reads or allocates anything.
class TBodyReader {
public:
    TBodyReader(TReadStream& stream, int64_t bodyEnd, const TPayloadReadOptions& options)
        : stream_(stream), bodyEnd_(bodyEnd), options_(options),
          maxItemSize_(std::clamp<int64_t>(options.MaxItemSize, 0, MaxItemSize))
    {
    }

    int64_t Left() const { return bodyEnd_ - stream_.Position(); }

    TItemType ReadRecord(int index, uint8_t key)
    {
        index_ = index;
        TItemType item;
        item.Name = XorItemName(ReadName(), key);
        item.Compressed = Read<uint8_t>("compressed flag");
        int32_t stored = Read<int32_t>("stored length");
        if (options_.StoredSizes)
            options_.StoredSizes->push_back(stored);
        if (stored <= 0)
            return item; // no data follows; a negative length is treated as none
        if (stored > Left())
            Fail("stored length " + std::to_string(stored) + " runs past the end of the body (" +
                 Bytes(Left()) + " left)");
        if (item.Compressed)
            ReadCompressed(item, stored);
        else
            ReadStored(item, stored);
        return item;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const { throw EPayloadError(index_, what); }

    template <typename T>
    T Read(const char* field)
    {
        if (Left() < static_cast<int64_t>(sizeof(T)))
            Fail(std::string("the body ends inside the ") + field);
        try {
            if constexpr (sizeof(T) == 1)
                return stream_.ReadByte();
            else
                return stream_.ReadInt32();
        } catch (const EStreamError& error) {
            Fail(std::string(field) + ": " + error.what());
        }
    }

    void ReadInto(void* buffer, size_t count, const char* what)
    {
        try {
            stream_.ReadExact(buffer, count);
        } catch (const EStreamError& error) {
            Fail(std::string(what) + ": " + error.what());
        }
    }

    std::string ReadName()
    {
        int32_t length = Read<int32_t>("name length");
        if (length < 0)
            Fail("name length " + std::to_string(length) + " is negative");
        if (length > Left())
            Fail("name length " + std::to_string(length) + " runs past the end of the body (" +
                 Bytes(Left()) + " left)");
        std::string name(static_cast<size_t>(length), '\0');
        ReadInto(name.data(), name.size(), "name");
        return name;
    }

    TDataBlock Allocate(int64_t size)
    {
        TDataBlock block(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size))));
        if (!block)
            Fail("not enough memory for " + Bytes(size));
        return block;
    }

    void ReadStored(TItemType& item, int32_t stored)
    {
        if (stored > maxItemSize_)
            Fail("stored length " + std::to_string(stored) + " is above the largest item size");
        item.Data = Allocate(stored);
        ReadInto(item.Data.get(), static_cast<size_t>(stored), "data");
        item.Size = stored;
    }

    void ReadCompressed(TItemType& item, int32_t stored)
    {
        TDataBlock packed = Allocate(stored);
        ReadInto(packed.get(), static_cast<size_t>(stored), "compressed data");
        TInflated plain = InflateItem(std::span<const uint8_t>(packed.get(), static_cast<size_t>(stored)),
                                      maxItemSize_, index_);
        item.Data = std::move(plain.Data);
        item.Size = static_cast<int32_t>(plain.Size);
    }

    TReadStream& stream_;
    int64_t bodyEnd_;
    const TPayloadReadOptions& options_;
    // Never above what Size can hold, whatever the caller asked for.
    int64_t maxItemSize_;
    int index_ = 0;
};

bool EndsWithMagic(TReadStream& stream)
{
    if (stream.Size() < static_cast<int64_t>(sizeof PayloadMagic))
        return false;
    char magic[sizeof PayloadMagic] = {};
    stream.Seek(-static_cast<int64_t>(sizeof magic), TSeekOrigin::End);
    if (stream.Read(magic, sizeof magic) != sizeof magic)
        return false;
    return std::memcmp(magic, PayloadMagic, sizeof magic) == 0;
}

void ClearStoredSizes(const TPayloadReadOptions& options)
{
    if (options.StoredSizes)
        options.StoredSizes->clear();
}

[[noreturn]] void Fail(const std::string& what) { throw EPayloadError(EPayloadError::HeaderIndex, what); }

int64_t ReadBodyLength(TReadStream& stream)
{
    if (stream.Size() < PayloadTrailerSize)
        Fail("the file of " + Bytes(stream.Size()) + " is too short for the trailer");
    stream.Seek(-PayloadTrailerSize, TSeekOrigin::End);
    int64_t length = stream.ReadInt64();
    int64_t room = stream.Size() - PayloadTrailerSize;
    if (length < PayloadBodyHeaderSize)
        Fail("body length " + std::to_string(length) + " leaves no room for the body header");
    if (length > room)
        Fail("body length " + std::to_string(length) + " points before the start of the file (" +
             Bytes(room) + " precede the trailer)");
    return length;
}

TItemTypes ReadBody(TReadStream& stream, const TPayloadReadOptions& options)
{
    int64_t bodyLength = ReadBodyLength(stream);
    int64_t bodyEnd = stream.Size() - PayloadTrailerSize;
    stream.Seek(bodyEnd - bodyLength, TSeekOrigin::Begin);

    uint8_t key = static_cast<uint8_t>(stream.ReadInt32() & 0xFF);
    int32_t count = stream.ReadInt32();
    if (count < 0)
        Fail("item count " + std::to_string(count) + " is negative");
    int64_t recordRoom = bodyLength - PayloadBodyHeaderSize;
    if (count > recordRoom / PayloadMinRecordSize)
        Fail("item count " + std::to_string(count) + " cannot fit in the " + Bytes(recordRoom) +
             " of records");

    TItemTypes items;
    items.reserve(static_cast<size_t>(count));
    TBodyReader reader(stream, bodyEnd, options);
    for (int32_t i = 0; i < count; ++i)
        items.push_back(reader.ReadRecord(i, key));
    // Bytes between the last record and the trailer are deliberately ignored.
    return items;
}

} // namespace

std::string XorItemName(const std::string& text, uint8_t key)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ key);
    return result;
}

void ReadPayloadItems(TReadStream& stream, TItemTypes& items, const TPayloadReadOptions& options)
{
    FreeItems(items);
    ClearStoredSizes(options);
    if (!EndsWithMagic(stream))
        return;
    try {
        items = ReadBody(stream, options);
    } catch (const EStreamError& error) {
        ClearStoredSizes(options);
        Fail(error.what());
    } catch (...) {
        ClearStoredSizes(options);
        throw;
    }
}

void ReadPayloadItems(const std::string& fileName, TItemTypes& items, const TPayloadReadOptions& options)
{
    TFileReadStream stream(fileName);
    ReadPayloadItems(stream, items, options);
}

void FreeItems(TItemTypes& items)
{
    items.clear();
    items.shrink_to_fit();
}

} // namespace saver
