#include "VisibleText.h"

#include "../release/Hex.h"

namespace {

constexpr std::size_t kBoxPathEnds = 60;

} // namespace

std::string VisibleText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 32 || c == 127) {
            const std::uint8_t byte = c;
            out += "\\x" + release::ToHex(&byte, 1);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string ShortenedForBox(const std::string& text) {
    if (text.size() <= 2 * kBoxPathEnds + 3) {
        return text;
    }
    return text.substr(0, kBoxPathEnds) + "..." + text.substr(text.size() - kBoxPathEnds);
}
