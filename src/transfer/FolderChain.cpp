// List paths turned into local folders, made one level at a time.
#include "../app/Main.h"
#include "../discovery/Discovery.h"
#include "../files/ProgramFiles.h"
#include "../platform/Files.h"
#include "../platform/System.h"
#include "../release/Applicable.h"
#include "Transfer.h"

namespace {

// An error text of ListPathToLocal: this prefix, then the folder path. Callers recognise it by
// the prefix's first five characters.
constexpr const char kErrorPrefix[] = "ERROR: ";
constexpr std::size_t kErrorPrefixLength = sizeof(kErrorPrefix) - 1;

std::string WithoutTrailingBackslash(std::string path) {
    while (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

// The user's desktop folder and each folder on the way to it are never made: they belong to
// the user's profile, whether they exist or not.
bool OnTheWayToTheDesktop(const std::string& fullName) {
    std::string desktop = platform::UpperCase(DesktopFolder("\\Desktop"));
    std::string full = platform::UpperCase(WithoutTrailingBackslash(fullName));
    if (full.empty() || desktop.compare(0, full.size(), full) != 0) {
        return false;
    }
    return desktop.size() == full.size() || desktop[full.size()] == '\\';
}

bool Listed(TFORM_MAIN& form, const std::string& fullName) {
    const platform::Grid& grid = form.SearchDataGrid;
    for (int row = 0; row < grid.RowCount(); ++row) {
        if (grid.Cell(0, row) == fullName) {
            return true;
        }
    }
    return false;
}

} // namespace

int CreateFolderChain(TFORM_MAIN& form, std::string parent, const std::string& name) {
    if (name.empty() || parent.empty() || parent.find('\\') == std::string::npos ||
        parent.find(':') == std::string::npos ||
        release::RefusedLevelName(name, SystemCodePage())) {
        return -1;
    }
    form.SearchDataGrid.Clear();
    if (parent.back() != '\\') {
        parent += '\\';
    }
    std::string fullName = parent + name;
    // An existing folder gives 0 whether the listing shows it or not: asked first, the walk
    // of each row stays cheap however many folders its parent holds.
    if (platform::FolderExists(fullName)) {
        return 0;
    }
    if (OnTheWayToTheDesktop(fullName)) {
        return 0;
    }
    // Made first and the parent listed only when that fails: a missing folder is then made
    // without reading all its siblings, so a parent of many folders costs each row the same.
    // A folder the listing shows cannot be made, so the answer is the same either way.
    if (platform::CreateFolder(fullName)) {
        return 1;
    }
    SearchFolders(form, parent, false);
    if (Listed(form, fullName)) {
        return 0;
    }
    // Folders with any attribute beyond "directory" are not listed, yet they are there.
    return platform::FolderExists(fullName) ? 0 : -1;
}

namespace {

// Makes sure of the folder parent + level, unless this run already has.
bool MadeSure(TFORM_MAIN& form, const std::string& parent, const std::string& level,
              const std::string& folder, KnownFolders* known) {
    if (known != nullptr && known->count(folder) != 0) {
        return true;
    }
    if (CreateFolderChain(form, parent, level) == -1) {
        return false;
    }
    if (known != nullptr) {
        known->insert(folder);
    }
    return true;
}

} // namespace

std::string ListPathToLocal(TFORM_MAIN& form, const std::string& base, const std::string& listPath,
                            KnownFolders* known) {
    const release::CodePage& page = SystemCodePage();
    std::string path = release::ListPathAsLocal(listPath);
    std::string current = base.substr(0, 3);
    path = (base.size() > 3 ? base.substr(3) : std::string()) + path;
    bool failed = false;
    bool refused = false;
    std::size_t start = 0;
    for (std::size_t slash = page.Find(path, "\\", start); slash != std::string::npos;
         slash = page.Find(path, "\\", start)) {
        std::string level = path.substr(start, slash - start);
        start = slash + 1;
        // Below a refused level nothing is made: ".." would put the deeper levels outside.
        refused = refused || release::RefusedLevelName(level, page);
        std::string next = current;
        if (next.empty() || next.back() != '\\') {
            next += '\\';
        }
        next += level;
        if (refused || !MadeSure(form, current, level, next, known)) {
            failed = true;
        }
        current = std::move(next);
    }
    if (failed) {
        return kErrorPrefix + current;
    }
    if (current.empty() || current.back() != '\\') {
        current += '\\';
    }
    return current;
}

bool IsErrorText(const std::string& result) {
    return result.compare(0, 5, "ERROR") == 0;
}

std::string ErrorFolder(const std::string& result) {
    return result.size() > kErrorPrefixLength ? result.substr(kErrorPrefixLength) : std::string();
}
