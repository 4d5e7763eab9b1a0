// The update run's helpers: its stamp, the shared documents folder, patient file moves.
#pragma once

#include <string>

#include "../platform/Clock.h"

constexpr const char* kLauncherName = "AppLaunch.exe";
constexpr const char* kMarkerTail =
    "Documents\\Pelmora Documents\\system-do not touch\\PelmorEmpty.aaa";
constexpr const char* kMarkerName = "PelmorEmpty.aaa";

// The current date and time in the regional short formats, with "/", ":" and blanks
// turned into "-": it names the run backup folder.
std::string MakeRunStamp();
std::string FormatRunStamp(const platform::LocalDateTime& now,
                           const platform::RegionalFormats& formats);

// The root of the machine-wide shared documents, ending in a backslash.
std::string DocumentsRoot();

// A move that another program's hold on one of its files blocks is tried again a few
// times over about two seconds, without handling window messages.
bool MoveFilePatiently(const std::string& from, const std::string& to);
