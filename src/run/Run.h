// The update run's helpers: its stamp, the shared documents folder, patient file moves.
#pragma once

#include <string>

#include "../platform/Clock.h"

// The current date and time in the regional short formats, with "/", ":" and blanks
// turned into "-": it names the run backup folder.
std::string MakeRunStamp();
std::string FormatRunStamp(const platform::LocalDateTime& now,
                           const platform::RegionalFormats& formats);

// The root of the machine-wide shared documents, ending in a backslash.
std::string DocumentsRoot();
