// TFileReadStream: a read-only stream over an operating-system file handle that
// it owns. The file is opened sharing read and write with everyone (a running
// executable reads its own image this way). A file that cannot be opened gives
// a stream of size 0 instead of an error.
#pragma once

#include "payload/ReadStream.h"

#include <string>

namespace saver {

class TFileReadStream final : public TReadStream {
public:
    // fileName is a byte string in the system's ANSI code page.
    explicit TFileReadStream(const std::string& fileName);
    ~TFileReadStream() override;

    bool IsOpen() const;
    int64_t Size() const override { return size_; }
    int64_t Position() const override { return position_; }
    void Seek(int64_t offset, TSeekOrigin origin) override;
    size_t Read(void* buffer, size_t count) override;

private:
    // The handle as an integer so this header stays free of platform types:
    // a HANDLE on Windows, a file descriptor elsewhere.
    intptr_t handle_;
    int64_t size_ = 0;
    int64_t position_ = 0;
};

} // namespace saver
