#include "Applicable.h"

#include "Names.h"
#include "platform/Files.h"

#include <cstring>
#include <set>

namespace release {

namespace {

using platform::kMaxFolderPathLength;
using platform::kMaxPathLength;

// The levels of a path split at either separator, read by character.
std::vector<std::string> Levels(const std::string& path, const CodePage& page) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = page.Find(path, "/\\", start);
        levels.push_back(path.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return levels;
        }
        start = end + 1;
    }
}

// The path of the entry below the base folder when it (counted in characters, as Windows
// counts them), the staged copy beside it or the
// folder that holds them is longer than Windows takes; nothing when all fit.
std::optional<std::string> TooLongBelow(const std::string& base, const std::string& localPath,
                                        const CodePage& page) {
    std::size_t slash = std::string::npos;
    for (std::size_t p = page.Find(localPath, "\\"); p != std::string::npos;
         p = page.Find(localPath, "\\", p + 1)) {
        slash = p;
    }
    const std::size_t baseLength = page.Characters(base);
    const std::size_t folder =
        baseLength + (slash == std::string::npos ? 0 : page.Characters(localPath.substr(0, slash)));
    const std::size_t file = baseLength + page.Characters(localPath);
    const std::size_t staged = folder + 1 + std::strlen(kTempFileName);
    if (folder <= kMaxFolderPathLength && file <= kMaxPathLength && staged <= kMaxPathLength) {
        return std::nullopt;
    }
    return base + localPath;
}

// The first folder level of a local path the walk could never make, as the folder below
// base it would have been; nothing when every level can be made.
std::optional<std::string> RefusedFolderBelow(const std::string& base, const std::string& localPath,
                                              const CodePage& page) {
    std::vector<std::string> levels = Levels(localPath, page);
    levels.pop_back(); // the file's own name
    bool refused = false;
    for (const auto& level : levels) {
        refused = refused || level.empty() || RefusedLevelName(level, page);
    }
    if (!refused) {
        return std::nullopt;
    }
    std::string folder = base;
    for (const auto& level : levels) {
        if (!folder.empty() && folder.back() != '\\') {
            folder += '\\';
        }
        folder += level;
    }
    return folder;
}

} // namespace

bool RefusedLevelName(const std::string& name, const CodePage& page) {
    if (name.empty()) {
        return false;
    }
    if (name.find_first_not_of(". ") == std::string::npos) {
        return true;
    }
    for (std::size_t pos = 0; pos < name.size(); pos = page.Next(name, pos)) {
        if (page.Next(name, pos) != pos + 1) {
            continue; // a double-byte character: its second byte is no character of its own
        }
        const auto c = static_cast<unsigned char>(name[pos]);
        if (ForbiddenInName(c) || c == '/' || c == '\\') {
            return true;
        }
    }
    return false;
}

bool UpdaterWorkingPath(const std::string& listPath, const CodePage& page) {
    static const std::string workingFiles[] = {
        kLocalListName,        kTempFileName,      kRunRecordName,  kKeptSignatureName,
        kFetchedSignatureName, kKeptStatementName, kPartsFolderName};
    // A leading separator names no level (the updater drops it).
    std::size_t first = 0;
    while (first < listPath.size() && (listPath[first] == '/' || listPath[first] == '\\')) {
        ++first;
    }
    const std::vector<std::string> levels = Levels(listPath.substr(first), page);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const std::string level = page.Folded(NameAsWindowsTakesIt(levels[i]));
        if (i == 0 && level == page.Folded(kBackupFolderName)) {
            return true;
        }
        for (const std::string& name : workingFiles) {
            if (level == page.Folded(name)) {
                return true;
            }
        }
    }
    return false;
}

std::string ListPathAsLocal(const std::string& listPath) {
    // "/" is never the second byte of a double-byte character.
    std::string path = listPath;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (!path.empty() && path[0] == '\\') {
        path.erase(0, 1);
    }
    return path;
}

std::string SameFileKey(const std::string& localPath, const CodePage& page) {
    std::string key;
    for (const auto& level : Levels(localPath, page)) {
        key += page.Folded(NameAsWindowsTakesIt(level)) + "\\";
    }
    return key;
}

std::optional<std::string> DamagedList(const std::string& text) {
    const std::vector<ListEntry> rows = ReadListRows(text);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].path.find('\0') != std::string::npos ||
            rows[row].stamp.find('\0') != std::string::npos) {
            return "entry " + std::to_string(row + 1) +
                   " holds a NUL byte, so the list is not text";
        }
    }
    // Each row the release tool writes is a path, a TAB and a stamp: lines read as the rows
    // are (a rest of 2 characters or fewer is no row).
    bool anyRow = false;
    bool rowWithTab = false;
    for (std::size_t pos = 0; pos < text.size() && text.size() - pos > 2 && !rowWithTab;) {
        std::size_t end = text.find_first_of("\r\n", pos);
        end = end == std::string::npos ? text.size() : end;
        anyRow = anyRow || end > pos;
        rowWithTab = text.find('\t', pos) < end;
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (anyRow && !rowWithTab) {
        return std::string("none of its lines holds a TAB, so it is no update list (a proxy or a "
                           "portal may have answered with a page of its own)");
    }
    return std::nullopt;
}

std::optional<EntryRefusal> RefusedList(const std::vector<ListEntry>& rows, const Places& places,
                                        const CodePage& page) {
    std::string folder = places.target;
    while (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    const std::string resolvedFolder = places.resolved ? places.resolved(folder) : folder;
    const std::string target = SameFileKey(resolvedFolder, page);
    std::set<std::string> seen;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const std::string& path = rows[row].path;
        if (path.empty()) {
            continue;
        }
        if (UpdaterWorkingPath(path, page)) {
            return EntryRefusal{Refusal::WorkingFile, row, path};
        }
        const std::string local = ListPathAsLocal(path);
        for (const std::string* base : {&places.target, &places.backup}) {
            if (base->empty()) {
                continue;
            }
            if (auto tooLong = TooLongBelow(*base, local, page)) {
                return EntryRefusal{Refusal::TooLong, row, *tooLong};
            }
            if (auto folder = RefusedFolderBelow(*base, local, page)) {
                return EntryRefusal{Refusal::RefusedFolder, row, *folder};
            }
        }
        // A file name that cannot be installed refuses the list when the run would fetch the
        // row's file; otherwise the row names a folder only and nothing is fetched for it.
        const std::string fileName = Levels(local, page).back();
        if ((fileName.empty() || RefusedLevelName(fileName, page)) &&
            (!places.fetched || places.fetched(row))) {
            return EntryRefusal{Refusal::FileName, row, path};
        }
        // What the path names on disk, where it exists: a short alias is its long name. Only
        // a name holding "~" can be one (Windows makes them as BASE~N.EXT); any other names
        // what it says below the target folder, and is not asked of the disk.
        const std::string onDisk = !places.resolved ? places.target + local
                                   : page.Find(local, "~") == std::string::npos
                                       ? resolvedFolder + "\\" + local
                                       : places.resolved(places.target + local);
        std::string key = SameFileKey(onDisk, page);
        if (key.compare(0, target.size(), target) == 0) {
            key.erase(0, target.size());
            if (UpdaterWorkingPath(key, page)) {
                return EntryRefusal{Refusal::WorkingFile, row, path};
            }
        }
        if (!seen.insert(key).second) {
            return EntryRefusal{Refusal::NamedTwice, row, path};
        }
    }
    return std::nullopt;
}

} // namespace release
