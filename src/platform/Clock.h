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

// The parts of the user's time format (GetLocaleInfoA): whether the hour has a leading zero,
// the separator, the 12-hour clock and where its designator stands, and the designators.
struct TimeSettings {
    bool hourLeadingZero = false;
    std::string separator = ":";
    bool twelveHour = false;
    bool designatorFirst = false;
    std::string am;
    std::string pm;
};
TimeSettings RegionalTimeSettings();

// The time written by a picture (h hh H HH m mm s ss t tt 'text'), as the system writes it
// (GetTimeFormatA), with the user's designators.
std::string TimeText(const LocalDateTime& when, const std::string& picture);

} // namespace platform
