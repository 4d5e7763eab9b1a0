// Whether the updater can apply an entry of an update list, and a whole list: the one
// statement of those rules, held by the updater's list check, its folder walk, its run and
// the release tool, which never signs a list the updater would refuse. Names are read by
// character in the ANSI code page and compared for one file by its case fold.
#pragma once

#include "CodePage.h"
#include "ReleaseFormat.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace release {

// A folder or file name the updater never makes or installs: one that names no folder of its
// own ("." or "..", however padded, since Windows drops trailing dots and blanks), or that
// holds a separator or a character Windows refuses. An empty name names nothing and is
// not refused here; callers refuse it on their own.
bool RefusedLevelName(const std::string& name, const CodePage& page = WesternCodePage());

// Whether a list path names one of the updater's own working files or folders, in any letter
// case: one of the working file names as any level of the path (the temporary file is made
// in the folder of each file fetched, so it collides at any depth), or the backup folder as
// the first level (it lies at the top of the target folder). Levels are read as Windows
// takes them: after any leading separator, split at either separator, trailing dots and
// blanks dropped.
bool UpdaterWorkingPath(const std::string& listPath, const CodePage& page = WesternCodePage());

// A list path as the folder walk reads it: "\" between levels, one leading separator gone.
std::string ListPathAsLocal(const std::string& listPath);

// The one file Windows takes a local path for: levels case-folded, trailing dots and blanks
// dropped.
std::string SameFileKey(const std::string& localPath, const CodePage& page = WesternCodePage());

// Why a downloaded list is not one the release tool could have written, or nothing: it holds
// a NUL byte (it is not text), or no row of it has a TAB (a page some proxy or portal
// answered in its place).
std::optional<std::string> DamagedList(const std::string& text);

// Where the entries of a list land: the target folder, and in normal mode the run's backup
// folder (empty in manual mode). resolved gives what a local path names on disk where it
// exists (its long name, for a short alias), and the path itself otherwise; fetched tells
// whether the run would fetch a row's file (its stamps differ). Either may be left empty: a
// path is then what it says, and every row is fetched.
struct Places {
    std::string target;
    std::string backup;
    std::function<std::string(const std::string&)> resolved;
    std::function<bool(std::size_t row)> fetched;
};

enum class Refusal {
    WorkingFile,   // names one of the updater's own files: the subject is the list path
    FileName,      // a file name that cannot be installed, for a row that is fetched: the same
    NamedTwice,    // names a file an earlier entry names: the subject is the list path
    TooLong,       // a path Windows cannot take: the subject is that path
    RefusedFolder, // a folder level that can never be made: the subject is that folder
};

struct EntryRefusal {
    Refusal why;
    std::size_t row; // from 0
    std::string subject;
};

// The first reason the updater cannot apply the list, held against all of its rows before
// anything is made or fetched; nothing when it can.
std::optional<EntryRefusal> RefusedList(const std::vector<ListEntry>& rows, const Places& places,
                                        const CodePage& page);

} // namespace release
