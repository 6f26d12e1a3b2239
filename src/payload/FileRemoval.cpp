#include "payload/FileRemoval.h"

#include "payload/TextUtils.h"
#include "win/MessagePump.h"

#include <windows.h>
#include <shellapi.h>

namespace saver {

bool RemoveFileOrFolder(const std::string& path)
{
    if (path.find_first_of(std::string_view("*?\0", 3)) != std::string::npos)
        return false;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    std::string name = path;
    if (!name.empty() && name.back() == '\\')
        name.pop_back();
    // Checked after the "\" is gone: "C:\" would leave "C:", the current
    // directory of drive C.
    if (!IsAbsolutePath(name))
        return false;
    // The shell's list of names ends with a second zero.
    name.push_back('\0');

    SHFILEOPSTRUCTA operation{};
    // The window that should own any dialog of the shell. The application
    // object has no notion of an active form yet, so this is the calling
    // thread's active window, or no owner at all.
    operation.hwnd = GetActiveWindow();
    operation.wFunc = FO_DELETE;
    operation.pFrom = name.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_SILENT;
    int result = SHFileOperationA(&operation);
    win::ProcessMessages();
    return result == 0;
}

} // namespace saver
