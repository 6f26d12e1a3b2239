#include "payload/TempFolder.h"

#include "payload/TextUtils.h"

#include <windows.h>

namespace saver {

std::string GetTempSubfolder(std::string_view name)
{
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, folder);
    // 0 is a failure; MAX_PATH or more is the size the path would have needed.
    if (length == 0 || length >= MAX_PATH)
        return {};
    return SubfolderPath(std::string_view(folder, length), name);
}

} // namespace saver
