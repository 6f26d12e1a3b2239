// Reading texts from the registry: the default value of a key, and the
// program a file type is opened with. Read only; every failure is an empty
// text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace saver {

// The default (unnamed) value of root\keyPath (one trailing "\" allowed),
// trimmed of blanks and control characters; the text ends at its first zero.
// Only text values count: REG_SZ as stored, REG_EXPAND_SZ with its
// environment variables expanded. Empty when the key or the value is missing,
// of another type, or does not fit into 255 bytes with its terminating zero.
std::string ReadRegistryDefault(HKEY root, std::string_view keyPath);

// The program registered to open files of fileType (".htm"; a type without
// any "." gets one in front, so "htm" means ".htm"), in double quotes: the
// type's class, its shell\open\command, reduced by ProgramOfOpenCommand
// (TextUtils.h). Empty when no command is registered or nothing is left of it.
std::string GetOpenProgram(std::string_view fileType);

} // namespace saver
