// The encoder of enciphered constants, run by the compiler: the saver's item
// keys and fixed texts are written as EncipherConstant("...") and only the
// enciphered hexadecimal text reaches the binary; DecodeConstant (TextUtils.h)
// turns it back into the plain text when it is needed.
//
// An enciphered constant, read from its end: 8 hexadecimal digits R, the
// rotation count; in front of them the core of n characters rotated left by R
// (the stored text is the core from its character R + 1 on, then its first R
// characters; 0 <= R <= n). The core: P, the count of filler bytes (2 digits);
// K, the key byte (2 digits); every plain character XORed with K (2 digits
// each); 2 * P filler digits. Digits are upper case.
//
// K, P, the filler and R are drawn from a hash of the plain text, so each
// constant gets its own and every build gives the same bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace saver {

inline constexpr std::size_t MaxFillerBytes = 7;

// The enciphered text in a buffer sized for the most filler, of which the
// first Length characters are used.
template <std::size_t Capacity>
struct TEncipheredConstant {
    std::array<char, Capacity> Text{};
    std::size_t Length = 0;

    constexpr std::string_view View() const { return {Text.data(), Length}; }
};

namespace detail {

inline constexpr char HexDigits[] = "0123456789ABCDEF";

constexpr std::size_t EncipheredCapacity(std::size_t plainLength)
{
    return 2 + 2 + 2 * plainLength + 2 * MaxFillerBytes + 8;
}

// splitmix64: a short, well-mixed stream of numbers from one seed.
class TDrawing {
public:
    consteval explicit TDrawing(std::uint64_t seed) : state_(seed) {}
    consteval std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

// FNV-1a over the bytes, then the length, so that texts that differ only in
// trailing zero bytes hash apart.
template <std::size_t Length>
consteval std::uint64_t HashOf(const std::array<char, Length>& plain)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 0x100000001B3ull;
    };
    for (char c : plain)
        mix(static_cast<std::uint8_t>(c));
    for (int shift = 0; shift < 64; shift += 8)
        mix(static_cast<std::uint8_t>(static_cast<std::uint64_t>(Length) >> shift));
    return hash;
}

} // namespace detail

// Any bytes, all of them enciphered (zeros too).
template <std::size_t Length>
consteval TEncipheredConstant<detail::EncipheredCapacity(Length)> EncipherBytes(const std::array<char, Length>& plain)
{
    detail::TDrawing drawing(detail::HashOf(plain));
    const std::uint8_t key = static_cast<std::uint8_t>(1 + drawing.Next() % 255);
    const std::size_t fillerBytes = static_cast<std::size_t>(drawing.Next() % (MaxFillerBytes + 1));

    std::array<char, detail::EncipheredCapacity(Length)> core{};
    std::size_t coreLength = 0;
    auto putByte = [&core, &coreLength](std::uint8_t byte) {
        core[coreLength++] = detail::HexDigits[byte >> 4];
        core[coreLength++] = detail::HexDigits[byte & 0x0F];
    };
    putByte(static_cast<std::uint8_t>(fillerBytes));
    putByte(key);
    for (char c : plain)
        putByte(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) ^ key));
    for (std::size_t i = 0; i < fillerBytes; ++i)
        putByte(static_cast<std::uint8_t>(drawing.Next()));

    const std::size_t rotation = static_cast<std::size_t>(drawing.Next() % (coreLength + 1));
    TEncipheredConstant<detail::EncipheredCapacity(Length)> result;
    for (std::size_t i = 0; i < coreLength; ++i)
        result.Text[result.Length++] = core[(rotation + i) % coreLength];
    for (int shift = 28; shift >= 0; shift -= 4)
        result.Text[result.Length++] = detail::HexDigits[(rotation >> shift) & 0x0F];
    return result;
}

// A string literal without its terminating zero.
template <std::size_t Size>
consteval auto EncipherConstant(const char (&literal)[Size])
{
    if (literal[Size - 1] != '\0')
        throw "EncipherConstant takes a string literal";
    std::array<char, Size - 1> plain{};
    for (std::size_t i = 0; i + 1 < Size; ++i)
        plain[i] = literal[i];
    return EncipherBytes(plain);
}

} // namespace saver
