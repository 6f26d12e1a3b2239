// How googletest prints a TRect in a failure message: its four edges.
#pragma once

#include "host/Geometry.h"

#include <ostream>

namespace saver {

inline void PrintTo(const TRect& rect, std::ostream* out)
{
    *out << "{" << rect.Left << ", " << rect.Top << ", " << rect.Right << ", " << rect.Bottom << "}";
}

} // namespace saver
