// An owned block of item bytes. Allocated with the C allocator so that a
// growing inflation buffer can be resized in place (realloc) instead of copied.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace saver {

struct TFreeBlock {
    void operator()(uint8_t* block) const { std::free(block); }
};

using TDataBlock = std::unique_ptr<uint8_t, TFreeBlock>;

} // namespace saver
