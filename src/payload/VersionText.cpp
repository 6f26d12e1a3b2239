#include "payload/VersionText.h"

#include <windows.h>

#include <vector>

namespace saver {

std::string GetProductVersionText(const std::string& path)
{
    if (path.find('\0') != std::string::npos)
        return {};
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<BYTE> resource(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, resource.data()))
        return {};
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(resource.data(), "\\", &fixed, &fixedSize) || !fixed || fixedSize < sizeof(VS_FIXEDFILEINFO))
        return {};
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (info->dwSignature != VS_FFI_SIGNATURE)
        return {};
    return std::to_string(HIWORD(info->dwProductVersionMS)) + "." + std::to_string(LOWORD(info->dwProductVersionMS)) +
           "." + std::to_string(HIWORD(info->dwProductVersionLS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionLS));
}

} // namespace saver
