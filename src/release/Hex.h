// Lower-case hexadecimal text of bytes, and back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace release {

// The value of one hex digit, lower- or upper-case; -1 for any other character.
int HexDigitValue(char c);

std::string ToHex(const std::uint8_t* bytes, std::size_t size);

template <std::size_t N> std::string ToHex(const std::array<std::uint8_t, N>& bytes) {
    return ToHex(bytes.data(), N);
}

// Exactly 2 × N lower- or upper-case hex digits, nothing else.
bool FromHex(const std::string& text, std::uint8_t* out, std::size_t size);

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> FromHex(const std::string& text) {
    std::array<std::uint8_t, N> bytes{};
    if (!FromHex(text, bytes.data(), N)) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace release
