// Readers of one payload item's plain bytes as the catalogue's value types
// (byte flag, 32-bit integer, text), the key tests that recognise an item's
// role, and the check that turns a file name carried in the payload into one
// that can only name an entry of the folder it is written to. None of them
// reads past an item's Size bytes; a null Data or a Size below one counts as
// no data.
#pragma once

#include "payload/ExeAdder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace saver {

// Windows' longest file-name component, in characters.
inline constexpr std::size_t MaxItemFileNameLength = 255;

// The first byte; 0 is off, any other value on. No data: nullopt, so the
// caller leaves its setting as it was.
std::optional<uint8_t> ItemByte(const TItemType& item);

// The first four bytes, little-endian two's complement; bytes after them are
// ignored. Fewer than four bytes: nullopt, so the caller leaves its setting as
// it was rather than taking a number half made of guessed bytes.
std::optional<int32_t> ItemInt32(const TItemType& item);

// All Size bytes as they are, zero bytes included; no data gives "".
std::string ItemText(const TItemType& item);

// Whether the item's Name is key: same length, same bytes. The caller passes
// the plain key, decoded from its enciphered form at the moment of the test.
bool IsItem(const TItemType& item, std::string_view key);

// The index of an item of an indexed role: the item's Name holds prefix, and
// everything after the prefix's first occurrence, to the end of the name, is
// a decimal index below count. Only the digits 0-9 are read: leading zeros
// are allowed ("007" is 7); a sign, a space, any other character, nothing at
// all after the prefix, or a value that does not fit in 32 bits means no
// match. An empty prefix never matches.
std::optional<std::size_t> MatchIndexedItem(const TItemType& item, std::string_view prefix, std::size_t count);

// The last component of a file name from the payload ("\", "/" and ":" all
// separate components), or "" when nothing safe is left: the whole name holds
// a control character, the component is empty, ".", "..", longer than
// MaxItemFileNameLength, or not a plain file name (IsPlainFileName). So
// "..\\..\\x.dll", "C:\\Windows\\x.dll" and "../x.dll" all become "x.dll",
// and whatever is returned can be joined to a folder without leaving it.
std::string ItemFileName(std::string_view name);

} // namespace saver
