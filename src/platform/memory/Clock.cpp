// The clock of the in-memory machine, and its date and time pictures written the way
// GetDateFormatA and GetTimeFormatA write them.
#include "../Clock.h"

#include "Machine.h"

#include <algorithm>

namespace platform {

namespace {

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

std::string TwoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Sakamoto's rule: 0 is Sunday.
int DayOfWeek(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) {
        year -= 1;
    }
    return (year + year / 4 - year / 100 + year / 400 + offsets[(month + 11) % 12] + day) % 7;
}

std::string Name(const char* full, std::size_t run) {
    return run >= 4 ? std::string(full) : std::string(full).substr(0, 3);
}

// Walks a picture: quoted text stands as it is, a run of one letter is one field, anything
// else is copied. `field` writes the field of a letter and its run length.
template <typename Field> std::string Render(const std::string& picture, Field field) {
    std::string out;
    for (std::size_t i = 0; i < picture.size();) {
        char c = picture[i];
        if (c == '\'') {
            std::size_t end = picture.find('\'', i + 1);
            std::size_t stop = end == std::string::npos ? picture.size() : end;
            out += picture.substr(i + 1, stop - i - 1);
            i = stop == picture.size() ? stop : stop + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) {
            ++run;
        }
        if (!field(c, run, out)) {
            out += picture.substr(i, run);
        }
        i += run;
    }
    return out;
}

} // namespace

std::int64_t UnixTimeSeconds() {
    return memory::TheMachine().unixTime;
}

LocalDateTime LocalNow() {
    return memory::TheMachine().localTime;
}

std::string ShortDateText(const LocalDateTime& when) {
    return Render(
        memory::TheMachine().regional.shortDate, [&](char c, std::size_t run, std::string& out) {
            if (c == 'd') {
                out += run == 1   ? std::to_string(when.day)
                       : run == 2 ? TwoDigits(when.day)
                                  : Name(kDays[DayOfWeek(when.year, when.month, when.day)], run);
            } else if (c == 'M') {
                out += run == 1   ? std::to_string(when.month)
                       : run == 2 ? TwoDigits(when.month)
                                  : Name(kMonths[(when.month + 11) % 12], run);
            } else if (c == 'y') {
                out += run == 1   ? std::to_string(when.year % 10)
                       : run == 2 ? TwoDigits(when.year % 100)
                                  : std::to_string(when.year);
            } else {
                return false;
            }
            return true;
        });
}

namespace {

// The position after the picture's field or quoted text that starts at i.
std::size_t NextToken(const std::string& picture, std::size_t i) {
    if (picture[i] == '\'') {
        return std::min(picture.find('\'', i + 1), picture.size() - 1) + 1;
    }
    std::size_t end = picture.find_first_not_of(picture[i], i);
    return end == std::string::npos ? picture.size() : end;
}

bool IsTimeField(char c) {
    return c == 'h' || c == 'H' || c == 'm' || c == 's' || c == 't';
}

} // namespace

// The parts Windows derives from the time picture the user chose: the hour field's letter
// and length, the text after it up to the next field (quotes kept), and whether the
// designator comes before the hour.
TimeSettings RegionalTimeSettings() {
    const memory::RegionalFormats& f = memory::TheMachine().regional;
    const std::string& picture = f.timeFormat;
    TimeSettings settings;
    settings.am = f.amDesignator;
    settings.pm = f.pmDesignator;
    bool designatorSeen = false;
    for (std::size_t i = 0; i < picture.size(); i = NextToken(picture, i)) {
        designatorSeen = designatorSeen || picture[i] == 't';
        if (picture[i] != 'h' && picture[i] != 'H') {
            continue;
        }
        const std::size_t after = NextToken(picture, i);
        settings.twelveHour = picture[i] == 'h';
        settings.hourLeadingZero = after - i >= 2;
        settings.designatorFirst = designatorSeen;
        std::size_t next = after;
        while (next < picture.size() && !IsTimeField(picture[next])) {
            next = NextToken(picture, next);
        }
        settings.separator = picture.substr(after, next - after);
        break;
    }
    return settings;
}

std::string TimeText(const LocalDateTime& when, const std::string& picture) {
    const memory::RegionalFormats& f = memory::TheMachine().regional;
    const int hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    const std::string& designator = when.hour < 12 ? f.amDesignator : f.pmDesignator;
    return Render(picture, [&](char c, std::size_t run, std::string& out) {
        if (c == 'h' || c == 'H') {
            int hour = c == 'h' ? hour12 : when.hour;
            out += run == 1 ? std::to_string(hour) : TwoDigits(hour);
        } else if (c == 'm') {
            out += run == 1 ? std::to_string(when.minute) : TwoDigits(when.minute);
        } else if (c == 's') {
            out += run == 1 ? std::to_string(when.second) : TwoDigits(when.second);
        } else if (c == 't') {
            out += run == 1 ? designator.substr(0, 1) : designator;
        } else {
            return false;
        }
        return true;
    });
}

} // namespace platform
