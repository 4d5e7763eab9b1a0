// The update run's helpers: its stamp and the shared documents folder.
#pragma once

#include <string>

// The current date and time in the system's short date and time formats, with "/", ":" and
// blanks turned into "-": it names the run backup folder.
std::string MakeRunStamp();
std::string FormatRunStamp(const std::string& dateText, const std::string& timeText);

// The root of the machine-wide shared documents, ending in a backslash.
std::string DocumentsRoot();
