#include "payload/MemoryReadStream.h"

#include <algorithm>
#include <cstring>

namespace saver {

void TMemoryReadStream::Seek(int64_t offset, TSeekOrigin origin)
{
    position_ = SeekTarget(offset, origin);
}

size_t TMemoryReadStream::Read(void* buffer, size_t count)
{
    size_t left = static_cast<size_t>(Size() - position_);
    size_t n = std::min(count, left);
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

} // namespace saver
