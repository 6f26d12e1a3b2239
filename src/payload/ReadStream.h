// A read-only byte stream with the typed little-endian readers the payload
// format is written in. Stands in for the handle stream the reader was designed
// around; the concrete streams read a file (per platform) or a memory buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace saver {

enum class TSeekOrigin { Begin, End };

// A read that could not deliver every byte asked for, or a seek that failed.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TReadStream {
public:
    virtual ~TReadStream() = default;
    TReadStream() = default;
    TReadStream(const TReadStream&) = delete;
    TReadStream& operator=(const TReadStream&) = delete;

    // Total length in bytes; 0 for a stream that could not be opened.
    virtual int64_t Size() const = 0;
    virtual int64_t Position() const = 0;
    // Moves to offset from origin; throws EStreamError outside 0..Size().
    virtual void Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Reads up to count bytes and returns how many arrived (fewer near the end).
    virtual size_t Read(void* buffer, size_t count) = 0;

    // Reads exactly count bytes or throws EStreamError.
    void ReadExact(void* buffer, size_t count);
    uint8_t ReadByte();
    int32_t ReadInt32();
    int64_t ReadInt64();
    // A 32-bit length k, then k bytes. A length that is negative or runs past
    // the end of the stream throws EStreamError before anything is allocated.
    std::string ReadString();

    int64_t Remaining() const { return Size() - Position(); }

protected:
    // The position a seek would reach; throws EStreamError outside 0..Size().
    int64_t SeekTarget(int64_t offset, TSeekOrigin origin) const;
};

} // namespace saver
