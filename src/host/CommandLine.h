// The switch letter of this process's own command line.
#pragma once

namespace saver {

char GetSwitchLetter();

} // namespace saver
