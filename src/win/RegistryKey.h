// The owner of an open registry key, on the one handle idiom of Handle.h.
#pragma once

#include "win/Handle.h"

#include <windows.h>

namespace saver::win {

namespace detail {
inline HKEY NullKey() { return nullptr; }
inline void CloseKey(HKEY key) { RegCloseKey(key); }
} // namespace detail

// A key from RegOpenKeyEx or RegCreateKeyEx: null means none.
using TRegistryKey = TUniqueHandle<HKEY, detail::CloseKey, detail::NullKey>;

} // namespace saver::win
