// Files the Windows tests share: programs and data of the tests' own lie
// next to unit_tests.exe.
#pragma once

#include "win/ModulePath.h"

#include <fstream>
#include <sstream>
#include <string>

namespace saver::test {

// The folder of unit_tests.exe, without a trailing "\".
inline std::string ThisExecutableFolder()
{
    std::string path = win::ModuleFileName();
    return path.substr(0, path.find_last_of('\\'));
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace saver::test
