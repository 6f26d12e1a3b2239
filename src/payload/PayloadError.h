// The errors of reading a payload. Every inconsistent length is an
// EPayloadError naming the item (or the payload header) and what is wrong; a
// zlib stream that does not inflate is an EDecompressionError whose message is
// zlib's own text for its error code.
#pragma once

#include <stdexcept>
#include <string>

namespace saver {

class EPayloadError : public std::runtime_error {
public:
    static constexpr int HeaderIndex = -1;

    EPayloadError(int itemIndex, const std::string& message, bool prefixed = true)
        : std::runtime_error(prefixed ? Describe(itemIndex) + ": " + message : message),
          itemIndex_(itemIndex)
    {
    }

    // The record the error belongs to, or HeaderIndex for the trailer and body header.
    int ItemIndex() const { return itemIndex_; }

private:
    static std::string Describe(int itemIndex)
    {
        return itemIndex == HeaderIndex ? std::string("payload") : "item " + std::to_string(itemIndex);
    }

    int itemIndex_;
};

class EDecompressionError : public EPayloadError {
public:
    EDecompressionError(int itemIndex, const std::string& zlibMessage)
        : EPayloadError(itemIndex, zlibMessage, false)
    {
    }
};

} // namespace saver
