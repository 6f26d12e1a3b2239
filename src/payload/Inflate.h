// Inflates one whole zlib stream (RFC 1950) into a block of the exact length.
#pragma once

#include "payload/DataBlock.h"

#include <cstdint>
#include <span>

namespace saver {

struct TInflated {
    TDataBlock Data; // null when the stream inflates to nothing
    int64_t Size = 0;
};

// Throws EDecompressionError(itemIndex, zlib's text) for a stream zlib rejects
// or that ends early, and EPayloadError once the output would pass maxSize
// bytes or memory runs out. maxSize is at most INT32_MAX for real payloads.
TInflated InflateItem(std::span<const uint8_t> stream, int64_t maxSize, int itemIndex);

} // namespace saver
