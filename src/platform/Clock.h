// The clock, and dates and times written as the user's regional settings ask.
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

// The date in the user's short date format, as the system writes it (GetDateFormatA): day
// and month names, calendars and literals included.
std::string ShortDateText(const LocalDateTime& when);

// The time with seconds in the user's time format, as the system writes it (GetTimeFormatA):
// 12- or 24-hour clock, leading zero, separator and designator as the settings ask.
std::string TimeText(const LocalDateTime& when);

} // namespace platform
