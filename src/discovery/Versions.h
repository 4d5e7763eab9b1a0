// Dotted product versions (major.minor.build) and their packed integer form.
#pragma once

#include <cstdint>
#include <string>

struct VersionParts {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t build = 0;
};

// The library's text-to-integer reading with default -1: leading blanks, then a signed
// decimal or a hexadecimal number written with "$", "x" or "0x"; signed 32-bit range.
std::int32_t TextToInt(const std::string& text);

VersionParts ReadVersionParts(const std::string& text);

// major * 1000000 + minor * 1000 + build; -1 when that or one of its terms does not fit in
// signed 32 bits. A text without a positive part gives its major part as read.
std::int32_t PackVersion(const VersionParts& parts);
std::int32_t VersionToNumber(const std::string& text);

// The longest run of digits and dots that ends a folder path.
std::string FolderVersionTail(const std::string& path);
