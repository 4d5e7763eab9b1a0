// The clock and the regional date and time formats.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

std::int64_t UnixTimeSeconds();

struct LocalDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

LocalDateTime LocalNow();

// The user's regional settings for short dates and times.
struct RegionalFormats {
    std::string shortDate = "d/MM/yyyy"; // picture with d, dd, M, MM, yy, yyyy and literals
    std::string timeSeparator = ":";
    bool clock24 = true;
    bool hourLeadingZero = false;
    std::string amDesignator = "AM";
    std::string pmDesignator = "PM";
    bool designatorFirst = false;
};

RegionalFormats Regional();

} // namespace platform
