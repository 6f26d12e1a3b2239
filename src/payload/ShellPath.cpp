#include "payload/ShellPath.h"

#include "payload/TextUtils.h"
#include "win/ComPtr.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace saver {

namespace {

// The ANSI text as UTF-16, zero-terminated; empty when it does not convert.
std::vector<wchar_t> WideText(std::string_view text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return {};
    std::vector<wchar_t> wide(static_cast<size_t>(length) + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

} // namespace

std::string GetShellLongPath(std::string_view path)
{
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return {};
    std::vector<wchar_t> widePath = WideText(path);
    if (widePath.empty())
        return {};

    win::TComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.Put())) || !desktop)
        return {};
    win::TItemIdList list;
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, widePath.data(), nullptr, list.Put(), nullptr)) || !list)
        return {};

    char longPath[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(list.Get(), longPath))
        return {};
    // Wine reports success for some items outside the file system and gives
    // their parsing name ("::{...}"); only a drive or UNC path is a path.
    std::string result = TrimText(longPath);
    return IsAbsolutePath(result) ? result : std::string();
}

} // namespace saver
