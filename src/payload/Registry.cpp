#include "payload/Registry.h"

#include "payload/TextUtils.h"
#include "win/RegistryKey.h"

#include <algorithm>

namespace saver {

namespace {

constexpr DWORD ValueRoom = 255;

// The text of a REG_EXPAND_SZ value with its variables replaced; empty when
// the expansion fails. The ANSI call may count more than it writes, so the
// text ends at its zero.
std::string ExpandEnvironment(const std::string& text)
{
    DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0)
        return {};
    std::string expanded(needed, '\0');
    DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed)
        return {};
    expanded.erase(std::min(expanded.find('\0'), expanded.size()));
    return expanded;
}

} // namespace

std::string ReadRegistryDefault(HKEY root, std::string_view keyPath)
{
    std::string path(keyPath);
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    if (path.find('\0') != std::string::npos)
        return {};

    win::TRegistryKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return {};
    BYTE data[ValueRoom];
    DWORD size = ValueRoom;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, data, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return {};
    std::string text(reinterpret_cast<const char*>(data), size);
    text.erase(std::min(text.find('\0'), text.size()));
    if (type == REG_EXPAND_SZ)
        text = ExpandEnvironment(text);
    return TrimText(text);
}

std::string GetOpenProgram(std::string_view fileType)
{
    std::string type(fileType);
    if (type.find('.') == std::string::npos)
        type.insert(0, 1, '.');
    std::string fileClass = ReadRegistryDefault(HKEY_CLASSES_ROOT, type);
    if (fileClass.empty())
        return {};
    std::string command = ReadRegistryDefault(HKEY_CLASSES_ROOT, fileClass + "\\shell\\open\\command");
    if (command.empty())
        return {};
    return ProgramOfOpenCommand(command);
}

} // namespace saver
