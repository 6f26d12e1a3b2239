// The product version of a file, read from its version resource.
#pragma once

#include <string>

namespace saver {

// The fixed product version as "a.b.c.d": the high and low 16 bits of its
// most significant 32 bits, then those of its least significant 32 bits.
// Empty when the file is missing or has no version resource.
std::string GetProductVersionText(const std::string& path);

} // namespace saver
