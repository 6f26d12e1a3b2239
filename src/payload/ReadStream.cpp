#include "payload/ReadStream.h"

namespace saver {

namespace {

template <typename T>
T LittleEndian(const uint8_t (&bytes)[sizeof(T)])
{
    using U = std::make_unsigned_t<T>;
    U value = 0;
    for (size_t i = sizeof(T); i-- > 0;)
        value = static_cast<U>((value << 8) | bytes[i]);
    return static_cast<T>(value);
}

} // namespace

int64_t TReadStream::SeekTarget(int64_t offset, TSeekOrigin origin) const
{
    int64_t base = origin == TSeekOrigin::Begin ? 0 : Size();
    if (offset < -base || offset > Size() - base)
        throw EStreamError("seek outside the stream");
    return base + offset;
}

void TReadStream::ReadExact(void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        size_t got = Read(out + done, count - done);
        if (got == 0)
            throw EStreamError("read " + std::to_string(done) + " of " + std::to_string(count) +
                               " bytes before the end of the file");
        done += got;
    }
}

uint8_t TReadStream::ReadByte()
{
    uint8_t value = 0;
    ReadExact(&value, 1);
    return value;
}

int32_t TReadStream::ReadInt32()
{
    uint8_t bytes[4];
    ReadExact(bytes, sizeof bytes);
    return LittleEndian<int32_t>(bytes);
}

int64_t TReadStream::ReadInt64()
{
    uint8_t bytes[8];
    ReadExact(bytes, sizeof bytes);
    return LittleEndian<int64_t>(bytes);
}

std::string TReadStream::ReadString()
{
    int32_t length = ReadInt32();
    if (length < 0 || length > Remaining())
        throw EStreamError("text length " + std::to_string(length) + " does not fit in the " +
                           std::to_string(Remaining()) + " bytes left");
    std::string text(static_cast<size_t>(length), '\0');
    ReadExact(text.data(), text.size());
    return text;
}

} // namespace saver
