// saverkit's commands: build a saver from the saver executable and items, list
// a saver's items, extract one item. Kept apart from main() so tests drive it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace saverkit {

// args excludes the program name. Returns the process exit code.
int RunSaverkit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Decodes the name syntax of the command line and of `list`: \xNN is one byte,
// \\ a backslash, everything else stands for itself.
std::string DecodeNameArgument(const std::string& text);

} // namespace saverkit
