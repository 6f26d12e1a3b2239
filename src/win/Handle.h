// One move-only owner for every kind of Win32 handle, parameterised by how the
// handle is closed and which value means "none". Copying is deleted, so no
// handle is ever closed twice.
#pragma once

#include <windows.h>

#include <utility>

namespace saver::win {

template <typename T, auto Close, auto Invalid>
class TUniqueHandle {
public:
    TUniqueHandle() = default;
    explicit TUniqueHandle(T value) : value_(value) {}
    ~TUniqueHandle() { Reset(); }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    TUniqueHandle(TUniqueHandle&& other) noexcept : value_(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    T Get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid(); }
    T Release() { return std::exchange(value_, Invalid()); }
    void Reset(T value = Invalid())
    {
        T old = std::exchange(value_, value);
        if (old != Invalid())
            Close(old);
    }
    // For out-parameters: closes what is held and hands out the slot.
    T* Put()
    {
        Reset();
        return &value_;
    }

private:
    T value_ = Invalid();
};

namespace detail {
inline HANDLE NullHandle() { return nullptr; }
inline HANDLE InvalidFileHandle() { return INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
} // namespace detail

// Process, thread, mutex and event handles: null means none.
using TKernelHandle = TUniqueHandle<HANDLE, detail::CloseKernelHandle, detail::NullHandle>;
// Handles from CreateFile: INVALID_HANDLE_VALUE means none.
using TFileHandle = TUniqueHandle<HANDLE, detail::CloseKernelHandle, detail::InvalidFileHandle>;

} // namespace saver::win
