// Removing a file or a whole folder tree through the shell, as the clean-up at
// the end of a run does with the folder the payload's files went to.
#pragma once

#include <string>

namespace saver {

// Deletes the file or folder (with everything in it) that path names; one
// trailing "\" is allowed. Nothing goes to the recycle bin and nothing asks
// for confirmation. Processes the thread's waiting messages before it
// returns. True when the shell reports success; false, without touching
// anything, for a path that does not exist and for one that is not absolute
// or holds wildcards or a zero character, since the shell would resolve a
// relative path against the current directory and read a zero as the end of
// one name and the start of the next.
bool RemoveFileOrFolder(const std::string& path);

} // namespace saver
