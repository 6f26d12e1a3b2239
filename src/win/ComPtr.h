// Owners for what COM hands out: TComPtr holds one reference to an interface
// and releases it; TTaskMemory holds a block of the COM task allocator (an
// item identifier list, say) and frees it. Both are move-only, so nothing is
// released or freed twice.
#pragma once

#include "win/Handle.h"

#include <objbase.h>
#include <shtypes.h>

#include <utility>

namespace saver::win {

template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() { Reset(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    TComPtr& operator=(TComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    void Reset()
    {
        if (T* old = std::exchange(pointer_, nullptr))
            old->Release();
    }
    // For out-parameters that hand over a reference: releases what is held.
    T** Put()
    {
        Reset();
        return &pointer_;
    }

private:
    T* pointer_ = nullptr;
};

namespace detail {
inline LPITEMIDLIST NullItemIdList() { return nullptr; }
inline void FreeItemIdList(LPITEMIDLIST list) { CoTaskMemFree(list); }
} // namespace detail

// An item identifier list that the shell allocated for the caller.
using TItemIdList = TUniqueHandle<LPITEMIDLIST, detail::FreeItemIdList, detail::NullItemIdList>;

} // namespace saver::win
