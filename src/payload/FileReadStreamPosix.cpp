#include "payload/FileReadStream.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace saver {

TFileReadStream::TFileReadStream(const std::string& fileName)
    : handle_(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC))
{
    struct stat info {};
    if (handle_ >= 0 && ::fstat(static_cast<int>(handle_), &info) == 0 && S_ISREG(info.st_mode))
        size_ = info.st_size;
}

TFileReadStream::~TFileReadStream()
{
    if (IsOpen())
        ::close(static_cast<int>(handle_));
}

bool TFileReadStream::IsOpen() const { return handle_ >= 0; }

void TFileReadStream::Seek(int64_t offset, TSeekOrigin origin)
{
    position_ = SeekTarget(offset, origin);
}

size_t TFileReadStream::Read(void* buffer, size_t count)
{
    if (!IsOpen())
        return 0;
    count = std::min<size_t>(count, 1u << 30);
    ssize_t got = ::pread(static_cast<int>(handle_), buffer, count, position_);
    if (got <= 0)
        return 0;
    position_ += got;
    return static_cast<size_t>(got);
}

} // namespace saver
