// Item value readers, key tests and the file-name check of the catalogue.
#include "payload/ItemReaders.h"

#include "payload/TextUtils.h"

#include <algorithm>
#include <limits>

namespace saver {

namespace {

// The bytes the item really has: none when Data is null or Size not positive.
std::string_view ItemBytes(const TItemType& item)
{
    if (item.Bytes() == nullptr || item.Size <= 0)
        return {};
    return {reinterpret_cast<const char*>(item.Bytes()), static_cast<std::size_t>(item.Size)};
}

bool IsComponentSeparator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

} // namespace

std::optional<uint8_t> ItemByte(const TItemType& item)
{
    std::string_view bytes = ItemBytes(item);
    if (bytes.empty())
        return std::nullopt;
    return static_cast<uint8_t>(bytes[0]);
}

std::optional<int32_t> ItemInt32(const TItemType& item)
{
    std::string_view bytes = ItemBytes(item);
    if (bytes.size() < 4)
        return std::nullopt;
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= uint32_t{static_cast<uint8_t>(bytes[i])} << (8 * i);
    return static_cast<int32_t>(value);
}

std::string ItemText(const TItemType& item)
{
    return std::string(ItemBytes(item));
}

bool IsItem(const TItemType& item, std::string_view key)
{
    return std::string_view(item.Name) == key;
}

std::optional<std::size_t> MatchIndexedItem(const TItemType& item, std::string_view prefix, std::size_t count)
{
    if (prefix.empty())
        return std::nullopt;
    std::string_view name(item.Name);
    std::size_t at = name.find(prefix);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view digits = name.substr(at + prefix.size());
    if (digits.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > uint64_t{std::numeric_limits<int32_t>::max()})
            return std::nullopt;
    }
    if (value >= count)
        return std::nullopt;
    return static_cast<std::size_t>(value);
}

std::string ItemFileName(std::string_view name)
{
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < ' '; }))
        return {};
    auto last = std::find_if(name.rbegin(), name.rend(), IsComponentSeparator);
    std::string_view component = name.substr(static_cast<std::size_t>(name.rend() - last));
    if (component == "." || component == ".." || component.size() > MaxItemFileNameLength ||
        !IsPlainFileName(component))
        return {};
    return std::string(component);
}

} // namespace saver
