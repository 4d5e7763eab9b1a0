#include "Versions.h"

#include "../release/Hex.h"

#include <limits>

namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads digits of a base from pos to the end; false on any other character or overflow.
bool ReadDigits(const std::string& text, std::size_t pos, int base, bool negative,
                std::int64_t& value) {
    if (pos >= text.size()) {
        return false;
    }
    value = 0;
    for (; pos < text.size(); ++pos) {
        int digit = base == 16 ? release::HexDigitValue(text[pos])
                               : (IsDigit(text[pos]) ? text[pos] - '0' : -1);
        if (digit < 0) {
            return false;
        }
        value = value * base + digit;
        if (value > kMax + 1) {
            return false;
        }
    }
    if (negative) {
        value = -value;
    }
    return value >= kMin && value <= kMax;
}

} // namespace

std::int32_t TextToInt(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    std::int64_t value = 0;
    bool ok = false;
    if (pos < text.size() && text[pos] == '$') {
        ok = ReadDigits(text, pos + 1, 16, false, value);
    } else if (pos < text.size() && (text[pos] == 'x' || text[pos] == 'X')) {
        ok = ReadDigits(text, pos + 1, 16, false, value);
    } else if (pos + 1 < text.size() && text[pos] == '0' &&
               (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        ok = ReadDigits(text, pos + 2, 16, false, value);
    } else {
        bool negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            negative = text[pos] == '-';
            ++pos;
        }
        ok = ReadDigits(text, pos, 10, negative, value);
    }
    return ok ? static_cast<std::int32_t>(value) : -1;
}

VersionParts ReadVersionParts(const std::string& text) {
    VersionParts parts;
    std::string rest = text;
    for (std::int32_t* part : {&parts.major, &parts.minor, &parts.build}) {
        if (rest.empty()) {
            continue;
        }
        auto dot = rest.find('.');
        if (dot != std::string::npos) {
            *part = TextToInt(rest.substr(0, dot));
            rest.erase(0, dot + 1);
        } else {
            *part = TextToInt(rest);
            rest.clear();
        }
    }
    return parts;
}

std::int32_t PackVersion(const VersionParts& parts) {
    if (parts.major <= 0 && parts.minor <= 0 && parts.build <= 0) {
        return parts.major;
    }
    std::int64_t terms[] = {std::int64_t{parts.major} * 1000000, std::int64_t{parts.minor} * 1000,
                            std::int64_t{parts.build}};
    std::int64_t sum = 0;
    for (std::int64_t term : terms) {
        if (term < kMin || term > kMax) {
            return -1;
        }
        sum += term;
    }
    return sum < kMin || sum > kMax ? -1 : static_cast<std::int32_t>(sum);
}

std::int32_t VersionToNumber(const std::string& text) {
    return PackVersion(ReadVersionParts(text));
}

std::string FolderVersionTail(const std::string& path) {
    std::size_t start = path.size();
    while (start > 0 && (IsDigit(path[start - 1]) || path[start - 1] == '.')) {
        --start;
    }
    return path.substr(start);
}
