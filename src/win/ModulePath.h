// The full path of the running executable, as the system reports it.
#pragma once

#include <string>

namespace saver::win {

// A byte string in the ANSI code page; empty if the system call fails.
std::string ModuleFileName();

} // namespace saver::win
