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
// The last key statement the updater accepted, beside the kept signature file: who signs
// releases now, and who may sign the next statement.
constexpr const char* kKeptStatementName = "PelmoraUpdaterKeys.txt";
// Where the signature file of a fresh list (and each key statement) is fetched to, in the updater's
// own folder.
constexpr const char* kFetchedSignatureName = "PelmoraUpdaterList.sig";
constexpr const char* kBackupFolderName = "UpdateBackup";
// Parts of files whose transfer was cut short, kept in the updater's own folder to resume.
constexpr const char* kPartsFolderName = "PelmoraUpdaterParts";

// A file or folder name as Windows takes it: trailing dots and blanks dropped; "." and ".."
// stay what they are.
std::string NameAsWindowsTakesIt(std::string name);

// A character Windows does not allow in a file or folder name (separators aside): control
// characters and < > : " | ? *.
bool ForbiddenInName(unsigned char c);

// Letters a to z upper-cased, every other byte as it is: the names the in-memory machine and
// the updater's own files compare (names of the list compare by CodePage::Folded).
std::string AsciiUpper(std::string text);

} // namespace release
