#include "saverkit/PayloadWriter.h"

#include "payload/ExeAdder.h"

#include <cstring>
#include <zlib.h>

namespace saverkit {

namespace {

class TByteWriter {
public:
    explicit TByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    template <typename T>
    void Number(T value)
    {
        auto bits = static_cast<std::make_unsigned_t<T>>(value);
        for (size_t i = 0; i < sizeof(T); ++i)
            out_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
    void Bytes(std::span<const uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

private:
    std::vector<uint8_t>& out_;
};

int32_t CheckedLength(size_t length, const std::string& what)
{
    if (length > static_cast<size_t>(saver::MaxItemSize))
        throw EBuildError(what + " of " + std::to_string(length) + " bytes is more than a payload item can hold");
    return static_cast<int32_t>(length);
}

std::span<const uint8_t> AsBytes(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

} // namespace

std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> plain, int level)
{
    uLongf capacity = compressBound(static_cast<uLong>(plain.size()));
    std::vector<uint8_t> packed(capacity);
    int result = compress2(packed.data(), &capacity, plain.data(), static_cast<uLong>(plain.size()), level);
    if (result != Z_OK)
        throw EBuildError(std::string("compression failed: ") + zError(result));
    packed.resize(capacity);
    return packed;
}

std::vector<uint8_t> EncodePayload(const std::vector<TPayloadItem>& items, const TPayloadOptions& options)
{
    std::vector<uint8_t> payload;
    TByteWriter writer(payload);
    writer.Number<uint32_t>(options.NameKey);
    writer.Number<int32_t>(CheckedLength(items.size(), "an item count"));
    uint8_t key = static_cast<uint8_t>(options.NameKey & 0xFF);
    for (const TPayloadItem& item : items) {
        std::string name = saver::XorItemName(item.Name, key);
        writer.Number<int32_t>(CheckedLength(name.size(), "item name \"" + item.Name + "\""));
        writer.Bytes(AsBytes(name));
        writer.Number<uint8_t>(item.Compress ? 1 : 0);
        CheckedLength(item.Data.size(), "item \"" + item.Name + "\"");
        if (item.Compress && !item.Data.empty()) {
            std::vector<uint8_t> packed = ZlibCompress(item.Data, options.CompressionLevel);
            writer.Number<int32_t>(CheckedLength(packed.size(), "compressed item \"" + item.Name + "\""));
            writer.Bytes(packed);
        } else {
            // An empty item is written without data, compressed or not.
            writer.Number<int32_t>(static_cast<int32_t>(item.Data.size()));
            writer.Bytes(item.Data);
        }
    }
    int64_t bodyLength = static_cast<int64_t>(payload.size());
    writer.Number<int64_t>(bodyLength);
    writer.Bytes(AsBytes(std::string(saver::PayloadMagic, sizeof saver::PayloadMagic)));
    return payload;
}

size_t ImageLength(std::span<const uint8_t> file)
{
    constexpr size_t trailer = saver::PayloadTrailerSize;
    if (file.size() < trailer || std::memcmp(file.data() + file.size() - 4, saver::PayloadMagic, 4) != 0)
        return file.size();
    uint64_t bits = 0;
    for (size_t i = 8; i-- > 0;)
        bits = (bits << 8) | file[file.size() - trailer + i];
    auto bodyLength = static_cast<int64_t>(bits);
    int64_t room = static_cast<int64_t>(file.size() - trailer);
    if (bodyLength < saver::PayloadBodyHeaderSize || bodyLength > room)
        return file.size();
    return static_cast<size_t>(room - bodyLength);
}

} // namespace saverkit
