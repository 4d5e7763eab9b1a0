// The run stamp, from the regional short date and time formats.
#include "../platform/Clock.h"
#include "Run.h"

namespace {

std::string TwoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// A short-date picture: d, dd, M, MM, y, yy, yyyy, quoted literals, anything else as it
// stands. A month or day name picture (MMM, ddd) gives its number.
std::string FormatShortDate(const platform::LocalDateTime& now, const std::string& picture) {
    std::string out;
    for (std::size_t i = 0; i < picture.size();) {
        char c = picture[i];
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) {
            ++run;
        }
        if (c == '\'') {
            std::size_t end = picture.find('\'', i + 1);
            out += picture.substr(i + 1, (end == std::string::npos ? picture.size() : end) - i - 1);
            i = end == std::string::npos ? picture.size() : end + 1;
            continue;
        }
        if (c == 'd') {
            out += run == 1 ? std::to_string(now.day) : TwoDigits(now.day);
        } else if (c == 'M') {
            out += run == 1 ? std::to_string(now.month) : TwoDigits(now.month);
        } else if (c == 'y') {
            out += run <= 2 ? TwoDigits(now.year % 100) : std::to_string(now.year);
        } else {
            out += picture.substr(i, run);
        }
        i += run;
    }
    return out;
}

std::string FormatTime(const platform::LocalDateTime& now, const platform::RegionalFormats& f) {
    int hour = now.hour;
    if (!f.clock24) {
        hour = hour % 12 == 0 ? 12 : hour % 12;
    }
    std::string time = (f.hourLeadingZero ? TwoDigits(hour) : std::to_string(hour)) +
                       f.timeSeparator + TwoDigits(now.minute) + f.timeSeparator +
                       TwoDigits(now.second);
    if (f.clock24) {
        return time;
    }
    const std::string& designator = now.hour < 12 ? f.amDesignator : f.pmDesignator;
    if (designator.empty()) {
        return time;
    }
    return f.designatorFirst ? designator + " " + time : time + " " + designator;
}

void ReplaceAll(std::string& text, char from, char to) {
    for (char& c : text) {
        if (c == from) {
            c = to;
        }
    }
}

} // namespace

std::string FormatRunStamp(const platform::LocalDateTime& now,
                           const platform::RegionalFormats& formats) {
    std::string stamp = FormatShortDate(now, formats.shortDate) + "-" + FormatTime(now, formats);
    ReplaceAll(stamp, '/', '-');
    ReplaceAll(stamp, ':', '-');
    ReplaceAll(stamp, ' ', '-');
    return stamp;
}

std::string MakeRunStamp() {
    return FormatRunStamp(platform::LocalNow(), platform::Regional());
}
