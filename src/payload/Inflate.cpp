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
    // Once the output has reached maxSize, inflation goes on into one spare
    // byte: the stream may still end there, but any byte that arrives is too many.
    uint8_t spare = 0;
    for (;;) {
        bool atLimit = false;
        if (size == capacity) {
            atLimit = capacity >= maxSize;
            int64_t next = capacity == 0 ? firstGuess : capacity + std::max(capacity / 2, MinCapacity);
            if (!atLimit)
                Grow(block, capacity, std::min(next, maxSize), itemIndex);
        }
        uInt room = atLimit ? 1 : static_cast<uInt>(std::min<int64_t>(capacity - size, 1 << 30));
        stream.next_out = atLimit ? &spare : block.get() + size;
        stream.avail_out = room;
        int result = inflate(&stream, Z_NO_FLUSH);
        uInt produced = room - stream.avail_out;
        if (atLimit && produced > 0)
            throw EPayloadError(itemIndex,
                                "inflates past the largest item size of " + std::to_string(maxSize) + " bytes");
        size += produced;
        if (result == Z_STREAM_END)
            break;
        // Anything but progress fails: there is always room for output, so
        // Z_BUF_ERROR means the input ran out before the end (a stream cut
        // short), and Z_NEED_DICT asks for a dictionary no item can have.
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
