// Where the program's own files and folders are: the updater's own folder, the desktop
// folders, the marker file and the launcher. The names it shares with the release tool (the
// lists, the temporary file, the backup folder, the run record) are those of release/Names.h.
#pragma once

#include "../platform/Files.h"
#include "../release/Names.h"
#include "WholeFile.h"

#include <string>

constexpr const char* kLauncherName = "AppLaunch.exe";
constexpr const char* kMarkerTail =
    "Documents\\Pelmora Documents\\system-do not touch\\PelmorEmpty.aaa";
constexpr const char* kMarkerName = "PelmorEmpty.aaa";
constexpr const char* kStartupFolderTail = "\\Desktop\\Tarnell Temp Files\\";
constexpr const char* kManualFolderTail = "\\Desktop\\Pelmora Updater Files\\";

// The folder of a program path, up to and including its last backslash.
std::string FolderOf(const std::string& path);

// The folder of the running updater's program file, ending in a backslash.
std::string OwnFolder();

// The updater's own folder + the temporary file's name.
std::string TempFilePath();

// Two path texts joined with one backslash between them where both bring one.
std::string JoinPath(const std::string& head, const std::string& tail);

// HOMEDRIVE, then HOMEPATH (either may be unset), then the tail.
std::string DesktopFolder(const std::string& tail);

// A move that another program's hold on one of its files blocks is tried again a few
// times over about two seconds, without handling window messages.
bool MoveFilePatiently(const std::string& from, const std::string& to);
// The same for a move that replaces its target in one step (platform::MoveReplacing).
bool ReplaceFilePatiently(const std::string& from, const std::string& to);
// The same for a rename within one volume (OtherVolume: it would have to copy).
platform::MoveResult RenameFilePatiently(const std::string& from, const std::string& to);
// A whole-file read (ReadFileBytes) that another program's hold on the file blocks is tried
// again in the same way; a missing file is not waited for.
FileRead ReadFileBytesPatiently(const std::string& path, std::string& text);
