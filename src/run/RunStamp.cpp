// The run stamp: the system's own short date and time, made fit for a folder name.
#include "../platform/Clock.h"
#include "Run.h"

namespace {

void ReplaceAll(std::string& text, char from, char to) {
    for (char& c : text) {
        if (c == from) {
            c = to;
        }
    }
}

// A separator as the picture's literal text. One that holds a quote already is picture text
// (Windows hands back what the user's picture held between its fields).
std::string Literal(const std::string& text) {
    return text.find('\'') == std::string::npos ? "'" + text + "'" : text;
}

} // namespace

std::string RunStampTimePicture(const platform::TimeSettings& settings) {
    const std::string hour = settings.twelveHour ? (settings.hourLeadingZero ? "hh" : "h")
                                                 : (settings.hourLeadingZero ? "HH" : "H");
    const std::string separator = Literal(settings.separator);
    const std::string time = hour + separator + "mm" + separator + "ss";
    if (!settings.twelveHour) {
        return time;
    }
    return settings.designatorFirst ? "tt' '" + time : time + "' 'tt";
}

std::string FormatRunStamp(const std::string& dateText, const std::string& timeText) {
    std::string stamp = dateText + "-" + timeText;
    ReplaceAll(stamp, '/', '-');
    ReplaceAll(stamp, ':', '-');
    ReplaceAll(stamp, ' ', '-');
    return stamp;
}

std::string MakeRunStamp() {
    const platform::LocalDateTime now = platform::LocalNow();
    const std::string picture = RunStampTimePicture(platform::RegionalTimeSettings());
    return FormatRunStamp(platform::ShortDateText(now), platform::TimeText(now, picture));
}
