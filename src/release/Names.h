// The names the updater, the release tool, the update server and the tests share: where a
// release is served, the files of a release, the updater's own working files, and the
// characters Windows refuses in a name.
#pragma once

#include <string>

namespace release {

// The folder of the update server that serves a release, below the server's host.
constexpr const char* kUpdateBasePath = "/public/tarnell/software/updates/quorvel_installer/";

// A release: the update list and its signature, beside the listed files.
constexpr const char* kListName = "filelist.txt";
constexpr const char* kSignatureName = "filelist.txt.sig";

// The updater's own working files: in its own folder and in the target folder.
constexpr const char* kLocalListName = "PelmoraUpdaterList.txt";
constexpr const char* kTempFileName = "temp1234.$$$";
constexpr const char* kRunRecordName = "PelmoraUpdaterRun.txt";
// The number of the release in place is kept in this copy of its signature file, beside the
// local list.
constexpr const char* kKeptSignatureName = "PelmoraUpdaterRelease.sig";
// Where the signature file of a fresh list is fetched to, in the updater's own folder.
constexpr const char* kFetchedSignatureName = "PelmoraUpdaterList.sig";
constexpr const char* kBackupFolderName = "UpdateBackup";
// Parts of files whose transfer was cut short, kept in the updater's own folder to resume.
constexpr const char* kPartsFolderName = "PelmoraUpdaterParts";

// Whether a list path names one of the updater's own working files or folders, in any letter
// case: one of the working file names as any level of the path (the temporary file is made
// in the folder of each file fetched, so it collides at any depth), or the backup folder as
// the first level (it lies at the top of the target folder). Levels are read as Windows
// takes them: after any leading separator, split at either separator, trailing dots and
// blanks dropped. The updater refuses such entries and the release tool never lists them:
// this is the one statement of that rule.
bool UpdaterWorkingPath(const std::string& listPath);

// A file or folder name as Windows takes it: trailing dots and blanks dropped; "." and ".."
// stay what they are.
std::string NameAsWindowsTakesIt(std::string name);

// A character Windows does not allow in a file or folder name (separators aside): control
// characters and < > : " | ? *.
bool ForbiddenInName(unsigned char c);

// Letters a to z upper-cased, every other byte as it is: how Windows matches names.
std::string AsciiUpper(std::string text);

} // namespace release
