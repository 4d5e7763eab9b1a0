// The update run's helpers: its stamp and the shared documents folder.
#pragma once

#include <string>

namespace platform {
struct TimeSettings;
}

// The current date and time in the system's short date and time formats, with "/", ":" and
// blanks turned into "-": it names the run backup folder.
std::string MakeRunStamp();
std::string FormatRunStamp(const std::string& dateText, const std::string& timeText);
// The time of the stamp as a picture: the hour (a leading zero only when the settings ask),
// minutes and seconds of two digits, the regional separator, and on a 12-hour clock the
// designator after the time or before it, one blank between.
std::string RunStampTimePicture(const platform::TimeSettings& settings);

// The root of the machine-wide shared documents, ending in a backslash.
std::string DocumentsRoot();
