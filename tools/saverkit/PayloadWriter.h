// Writing payloads the saver's reader accepts: items in the given order, names
// XORed with the NameKey's low byte, the body followed by the trailer.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace saverkit {

class EBuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TPayloadItem {
    std::string Name;          // plain bytes, any values
    std::vector<uint8_t> Data; // plain bytes
    bool Compress = false;     // store as one zlib stream
};

struct TPayloadOptions {
    uint32_t NameKey = 0;
    int CompressionLevel = -1; // zlib's default
};

// Compresses bytes into one complete zlib stream.
std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> plain, int level);

// The body and the trailer, ready to be appended behind an executable image.
// Throws EBuildError for an item whose plain or stored size a 32-bit signed
// length cannot hold.
std::vector<uint8_t> EncodePayload(const std::vector<TPayloadItem>& items, const TPayloadOptions& options);

// The length of the executable image in front of a payload: the whole file
// when it carries none (no "PLWS" trailer, or one whose body length does not fit).
size_t ImageLength(std::span<const uint8_t> file);

} // namespace saverkit
