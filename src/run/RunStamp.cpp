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

} // namespace

std::string FormatRunStamp(const std::string& dateText, const std::string& timeText) {
    std::string stamp = dateText + "-" + timeText;
    ReplaceAll(stamp, '/', '-');
    ReplaceAll(stamp, ':', '-');
    ReplaceAll(stamp, ' ', '-');
    return stamp;
}

std::string MakeRunStamp() {
    const platform::LocalDateTime now = platform::LocalNow();
    return FormatRunStamp(platform::ShortDateText(now), platform::TimeText(now));
}
