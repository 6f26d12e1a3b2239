// The long form of a path: what the shell's namespace calls it, with every
// short (8.3) component turned into its long name. The application's title is
// taken from the long form of the program's own path.
#pragma once

#include <string>
#include <string_view>

namespace saver {

// The file-system path that the shell parses path into, trimmed. Empty when
// the shell cannot parse it or it names no file-system object (whatever is
// not a drive or UNC path counts as none), and for an empty path (which the
// shell would take as the desktop). Needs COM on the calling thread (see
// win/ComInitialization.h).
std::string GetShellLongPath(std::string_view path);

} // namespace saver
