// The path of a folder inside the user's temporary folder, where a saver puts
// the files it extracts from its payload.
#pragma once

#include <string>
#include <string_view>

namespace saver {

// The temporary folder as the system reports it, one "\" and name. Nothing is
// created. Empty when name is not a plain file name (empty, ".", "..", with a
// separator, a colon or a control character, a device name; see
// IsPlainFileName), and when the system cannot report a temporary folder of
// fewer than 260 characters: callers take an empty path as "no folder".
std::string GetTempSubfolder(std::string_view name);

} // namespace saver
