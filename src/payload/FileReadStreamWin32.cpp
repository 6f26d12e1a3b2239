#include "payload/FileReadStream.h"

#include <algorithm>
#include <windows.h>

namespace saver {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

} // namespace

TFileReadStream::TFileReadStream(const std::string& fileName)
    : handle_(reinterpret_cast<intptr_t>(
          CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)))
{
    LARGE_INTEGER size{};
    if (IsOpen() && GetFileSizeEx(AsHandle(handle_), &size))
        size_ = size.QuadPart;
}

TFileReadStream::~TFileReadStream()
{
    if (IsOpen())
        CloseHandle(AsHandle(handle_));
}

bool TFileReadStream::IsOpen() const { return AsHandle(handle_) != INVALID_HANDLE_VALUE; }

void TFileReadStream::Seek(int64_t offset, TSeekOrigin origin)
{
    LARGE_INTEGER target{};
    target.QuadPart = SeekTarget(offset, origin);
    if (!IsOpen() || !SetFilePointerEx(AsHandle(handle_), target, nullptr, FILE_BEGIN))
        throw EStreamError("seek failed");
    position_ = target.QuadPart;
}

size_t TFileReadStream::Read(void* buffer, size_t count)
{
    if (!IsOpen())
        return 0;
    DWORD wanted = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), buffer, wanted, &got, nullptr))
        return 0;
    position_ += got;
    return got;
}

} // namespace saver
