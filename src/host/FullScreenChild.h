// The S switch: the real full-screen run happens in a child process started
// with the E switch, while this process waits for it.
#pragma once

#include <string>

namespace saver {

// Starts commandLine (no application name, handles inherited, this process's
// start-up information, environment and directory) and waits for it to end,
// dispatching this thread's messages every 100 ms. Returns false when the
// process could not be started.
bool RunChildAndWait(const std::string& commandLine);

// Runs this executable's own path followed by " /E" and waits for it.
void RunFullScreenChild();

} // namespace saver
