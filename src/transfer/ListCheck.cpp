// Whether the new update list is one this updater can apply, decided over the whole list
// before anything is fetched: a list whose entries would overwrite the updater's own working
// files, name one file twice, or lead to paths Windows cannot take, or that is not text at
// all, is refused as a whole.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../app/VisibleText.h"
#include "../platform/Files.h"
#include "../platform/System.h"
#include "../release/Names.h"
#include "Transfer.h"

#include <set>

namespace {

// The one file Windows takes a local path for: levels compared without regard to letter
// case, trailing dots and blanks dropped (as Windows drops them).
std::string SameFileKey(const std::string& localPath) {
    std::string key;
    std::size_t start = 0;
    while (start <= localPath.size()) {
        std::size_t end = localPath.find('\\', start);
        end = end == std::string::npos ? localPath.size() : end;
        key += release::NameAsWindowsTakesIt(localPath.substr(start, end - start)) + "\\";
        start = end + 1;
    }
    return platform::UpperCase(key);
}

// Whether every file and folder of the entry fits below the base folder: the file, the
// staged copy beside it and the folder that holds them.
bool FitsBelow(const std::string& base, const std::string& localPath) {
    const std::size_t slash = localPath.find_last_of('\\');
    const std::size_t folder = base.size() + (slash == std::string::npos ? 0 : slash);
    const std::size_t file = base.size() + localPath.size();
    const std::size_t staged = folder + 1 + std::char_traits<char>::length(release::kTempFileName);
    return folder <= platform::kMaxFolderPathLength && file <= platform::kMaxPathLength &&
           staged <= platform::kMaxPathLength;
}

void RefuseDamaged(const std::string& what) {
    ShowMessageBox(msg::kDamagedList + what + msg::kNothingChanged, msg::kUpdateError,
                   platform::MbOk);
}

void RefuseEntry(const std::string& listPath, const char* why) {
    ShowMessageBox(VisibleText(ShortenedForBox(listPath)) + why, msg::kUpdateError, platform::MbOk);
}

void RefuseLength(const std::string& path) {
    ShowMessageBox(VisibleText(ShortenedForBox(path)) + msg::kCouldNotCreateFolder,
                   msg::kUpdateError, platform::MbOk);
}

} // namespace

bool ListApplies(TFORM_MAIN& form, const std::string& runBackupFolder) {
    const platform::Grid& list = form.FileListGrid;
    const std::string target = form.PelmoraPath.Text();
    const bool normalMode = !form.ManualUpdate.Checked();
    std::set<std::string> seen;
    for (int row = 0; row < list.RowCount(); ++row) {
        const std::string& path = list.Cell(0, row);
        if (path.find('\0') != std::string::npos ||
            list.Cell(1, row).find('\0') != std::string::npos) {
            RefuseDamaged("entry " + std::to_string(row + 1) +
                          " holds a NUL byte, so the list is not "
                          "text");
            return false;
        }
        if (path.empty()) {
            continue;
        }
        if (release::UpdaterWorkingPath(path)) {
            RefuseEntry(path, msg::kRefusedFileName);
            return false;
        }
        const std::string local = ListPathAsLocal(path);
        if (!FitsBelow(target, local)) {
            RefuseLength(target + local);
            return false;
        }
        if (normalMode && !FitsBelow(runBackupFolder, local)) {
            RefuseLength(runBackupFolder + local);
            return false;
        }
        if (!seen.insert(SameFileKey(local)).second) {
            RefuseEntry(path, msg::kNamedTwice);
            return false;
        }
    }
    return true;
}
