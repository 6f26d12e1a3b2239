// A read stream over bytes held by the caller: the fuzzer's input, test payloads.
#pragma once

#include "payload/ReadStream.h"

#include <span>
#include <vector>

namespace saver {

class TMemoryReadStream final : public TReadStream {
public:
    explicit TMemoryReadStream(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    // The stream only borrows its bytes: a temporary would be gone before the first read.
    explicit TMemoryReadStream(std::vector<uint8_t>&&) = delete;

    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
    int64_t Position() const override { return position_; }
    void Seek(int64_t offset, TSeekOrigin origin) override;
    size_t Read(void* buffer, size_t count) override;

private:
    std::span<const uint8_t> bytes_;
    int64_t position_ = 0;
};

} // namespace saver
