// The update list, list paths, local folders and downloads.
#pragma once

#include "../files/WholeFile.h"
#include "../platform/Crypto.h"
#include "../release/CodePage.h"

#include <optional>

#include <set>
#include <string>

class TFORM_MAIN;
class RandomGenerator;
namespace platform {
class Grid;
}

// Makes sure that the one folder parent + name exists: 1 created, 0 nothing to do
// (present, or on the way to the user's desktop), -1 refused or failed.
int CreateFolderChain(TFORM_MAIN& form, std::string parent, const std::string& name);

// The code page the updater reads every name in: the system's ANSI code page.
const release::CodePage& SystemCodePage();

// Given the folders a run has already made sure of, those are not asked for again: every
// row of a list walks the same levels of the target folder, and most share their own.
using KnownFolders = std::set<std::string>;
// The local folder that holds a list path's file below base, every missing level made;
// or "ERROR: " and the folder path when a level cannot be made.
std::string ListPathToLocal(TFORM_MAIN& form, const std::string& base, const std::string& path,
                            KnownFolders* known = nullptr);

bool IsErrorText(const std::string& result);
// The folder path of an error text of ListPathToLocal.
std::string ErrorFolder(const std::string& result);

// The file name of a row's list path: the text after its last "/".
std::string ListPathFileName(TFORM_MAIN& form, int row);

// "?fakevariable=" and two fresh draws: the second, then the first.
std::string CacheBustingQuery(RandomGenerator& random);
std::string CacheBustingQueryFor(int first, int second);

// Fetches the file of a row into the temporary file while the status labels show it.
bool DownloadFile(TFORM_MAIN& form, int row);
// What a row's file may be: exactly the size its stamp states, or at most the build's bound.
struct DownloadBounds;
DownloadBounds RowBounds(TFORM_MAIN& form, int row);
// The hash a row's file must have: the one its stamp names where the stamp states size and
// hash (in the protected build, wherever it names one).
std::optional<platform::Sha256Digest> RowDigest(TFORM_MAIN& form, int row);

// The whole content of a file; empty when it cannot be opened or read.
std::string ReadFileText(const std::string& fileName);
// The same, telling whether the whole file was read; an error raised while reading is shown
// in the file-operations box.
FileRead ReadWholeFile(const std::string& fileName, std::string& text);

// Fills an emptied grid with the entries of a list text: path, then date stamp.
void ReadListIntoGrid(const std::string& text, platform::Grid& grid);

// What became of the lists when GetUpdateList ended. Every outcome but Read has been told.
enum class ListOutcome {
    Read,                // the new list is in place and read into FileListGrid
    Refused,             // refused before the local list was touched
    OldListKept,         // no new list: the local list stayed as the run found it
    NoList,              // no new list, and the local list has gone
    NewListMayBeInPlace, // the file at the local list's place may be the new list or a cut copy
};

// Fetches the remote list, reads both lists into the grids and puts the new local list in place.
ListOutcome GetUpdateList(TFORM_MAIN& form);

// Whether the new list, read into FileListGrid, can be applied at all: no entry names the
// updater's own working files or a file another entry names, every folder of it can be
// made, and every entry's target and (in normal mode) backup path fits what Windows takes.
// Tells the operator why not; nothing has been made or fetched then.
bool ListApplies(TFORM_MAIN& form, const std::string& runBackupFolder);

// The stamps of a row differ, or ForceUpdate is set.
bool StampChanged(TFORM_MAIN& form, int row);
// Manual mode only: the row's file is already at its target path.
bool AlreadyPresent(TFORM_MAIN& form, const std::string& targetPath);
// Whether the run fetches the row's file (the replacement decision).
bool MustReplace(TFORM_MAIN& form, int row, const std::string& targetPath);
