// Version texts on any bytes: the reading never crashes, a folder's tail holds only digits
// and dots, and a packed version is exact whenever it fits in 32 bits.
#include "discovery/Versions.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string tail = FolderVersionTail(text);
    if (tail.find_first_not_of("0123456789.") != std::string::npos ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0) {
        std::abort();
    }
    VersionParts parts = ReadVersionParts(text);
    std::int32_t packed = VersionToNumber(text);
    if (parts.major > 0 || parts.minor > 0 || parts.build > 0) {
        std::int64_t exact =
            std::int64_t{parts.major} * 1000000 + std::int64_t{parts.minor} * 1000 + parts.build;
        bool fits = exact >= INT32_MIN && exact <= INT32_MAX &&
                    std::int64_t{parts.major} * 1000000 >= INT32_MIN &&
                    std::int64_t{parts.major} * 1000000 <= INT32_MAX &&
                    std::int64_t{parts.minor} * 1000 >= INT32_MIN &&
                    std::int64_t{parts.minor} * 1000 <= INT32_MAX;
        if (fits ? packed != exact : packed != -1) {
            std::abort();
        }
    } else if (packed != parts.major) {
        std::abort();
    }
    VersionParts tailParts = ReadVersionParts(tail);
    if (tailParts.major < -1 || tailParts.minor < -1 || tailParts.build < -1) {
        std::abort();
    }
    return 0;
}
