#include "payload/Inflate.h"

#include "payload/PayloadError.h"

#include <algorithm>
#include <zlib.h>

namespace saver {

namespace {

constexpr int64_t MinCapacity = 64 * 1024;

// zlib's z_stream, ended on every way out.
class TInflater {
public:
    TInflater(std::span<const uint8_t> input, int itemIndex) : itemIndex_(itemIndex)
    {
        stream_.next_in = const_cast<Bytef*>(input.data());
        stream_.avail_in = static_cast<uInt>(input.size());
        Check(inflateInit(&stream_));
        initialised_ = true;
    }
    ~TInflater()
    {
        if (initialised_)
            inflateEnd(&stream_);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    z_stream& Stream() { return stream_; }

    void Check(int result) const
    {
        if (result != Z_OK && result != Z_STREAM_END)
            throw EDecompressionError(itemIndex_, zError(result));
    }

private:
    z_stream stream_{};
    bool initialised_ = false;
    int itemIndex_;
};

void Grow(TDataBlock& block, int64_t& capacity, int64_t newCapacity, int itemIndex)
{
    auto* grown = static_cast<uint8_t*>(std::realloc(block.get(), static_cast<size_t>(newCapacity)));
    if (!grown)
        throw EPayloadError(itemIndex, "not enough memory to inflate " + std::to_string(newCapacity) + " bytes");
    (void)block.release();
    block.reset(grown);
    capacity = newCapacity;
}

} // namespace

TInflated InflateItem(std::span<const uint8_t> input, int64_t maxSize, int itemIndex)
{
    TInflater inflater(input, itemIndex);
    z_stream& stream = inflater.Stream();

    // Deflate rarely packs a movie better than 1:4; start there and grow by half.
    TDataBlock block;
    int64_t capacity = 0;
    int64_t size = 0;
    int64_t firstGuess = std::min(std::max<int64_t>(static_cast<int64_t>(input.size()) * 4, MinCapacity), maxSize);
    for (;;) {
        if (size == capacity) {
            if (capacity >= maxSize)
                throw EPayloadError(itemIndex, "inflates past the largest item size of " +
                                                   std::to_string(maxSize) + " bytes");
            int64_t next = capacity == 0 ? firstGuess : capacity + std::max(capacity / 2, MinCapacity);
            Grow(block, capacity, std::min(next, maxSize), itemIndex);
        }
        stream.next_out = block.get() + size;
        stream.avail_out = static_cast<uInt>(std::min<int64_t>(capacity - size, 1 << 30));
        uInt offered = stream.avail_out;
        int result = inflate(&stream, Z_NO_FLUSH);
        size += offered - stream.avail_out;
        if (result == Z_STREAM_END)
            break;
        if (result == Z_NEED_DICT)
            throw EDecompressionError(itemIndex, zError(Z_NEED_DICT));
        // No progress with input left to read means the stream was cut short.
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            throw EDecompressionError(itemIndex, zError(Z_BUF_ERROR));
        if (result != Z_BUF_ERROR)
            inflater.Check(result);
    }

    TInflated inflated;
    inflated.Size = size;
    if (size == 0)
        return inflated;
    if (size < capacity)
        Grow(block, capacity, size, itemIndex);
    inflated.Data = std::move(block);
    return inflated;
}

} // namespace saver
