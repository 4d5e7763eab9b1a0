// The update list: reading a list file into a grid, fetching the remote list, and the
// per-entry replacement decision.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../app/VisibleText.h"
#include "../files/ProgramFiles.h"
#include "../files/RunRecord.h"
#include "../files/WholeFile.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../platform/System.h"
#include "../release/Applicable.h"
#include "../release/ReleaseFormat.h"
#include "Fetch.h"
#include "Protection.h"
#include "Transfer.h"

#include <optional>
#include <vector>

FileRead ReadWholeFile(const std::string& fileName, std::string& text) {
    FileRead read = ReadFileBytes(fileName, text);
    if (read == FileRead::Raised) {
        ShowMessageBox(msg::kFileOperations, msg::kFileError, platform::MbOkCancel);
    }
    return read;
}

std::string ReadFileText(const std::string& fileName) {
    std::string text;
    ReadWholeFile(fileName, text);
    return text;
}

namespace {

bool SamePath(const std::string& a, const std::string& b) {
    return platform::CompareTextNoCase(a, b) == 0;
}

// The size of a downloaded list, nothing when the download failed: it succeeded only with
// a file of at least 2 bytes.
std::optional<std::uint64_t> DownloadedListSize(bool called, const std::string& file) {
    if (!called || !platform::FileExists(file)) {
        return std::nullopt;
    }
    auto size = platform::FileSize(file);
    if (!size.has_value() || *size < 2) {
        return std::nullopt;
    }
    return size;
}

// The downloaded list goes into place whole or not at all: a move across drives that stops
// part-way (a full disk) must not leave a cut list that claims the files it lost.
bool PutListInPlace(const std::string& downloaded, const std::string& local, std::uint64_t size) {
    // When the updater runs from the target folder the list was fetched straight into place.
    if (SamePath(downloaded, local)) {
        return true;
    }
    if (MoveFilePatiently(downloaded, local) && platform::FileSize(local) == size) {
        return true;
    }
    // A cut copy, or a list that cannot be vouched for: no list is better than a wrong one.
    platform::RemoveFileIfPresent(local);
    return false;
}

void ReadLocalList(TFORM_MAIN& form, const std::string& local) {
    // After a run that never ended, the local list may claim versions that are not in
    // place: every entry is taken as changed.
    if (RunRecordExists(RunRecordPath(form.PelmoraPath.Text()))) {
        return;
    }
    if (platform::FileExists(local)) {
        ReadListIntoGrid(ReadFileText(local), form.LocalFileListGrid);
    }
}

bool MakeManualTargetFolder(TFORM_MAIN& form) {
    const std::string target = form.PelmoraPath.Text();
    const std::string made = ListPathToLocal(form, target.substr(0, 3),
                                             target.size() > 3 ? target.substr(3) : std::string());
    if (IsErrorText(made)) {
        // Said, not silent: otherwise the start-up run would end with an empty window. The
        // folder is named as the operator's settings give it: without a drive the walk's own
        // view of it is garbled.
        std::string folder = target;
        while (!folder.empty() && folder.back() == '\\') {
            folder.pop_back();
        }
        ShowMessageBox(folder + msg::kCouldNotCreateFolder, msg::kUpdateError, platform::MbOk);
        return false;
    }
    return true;
}

// What is left at the local list's place once a new list there is given up.
ListOutcome LeftInPlace(const std::string& local) {
    return platform::FileExists(local) ? ListOutcome::NewListMayBeInPlace : ListOutcome::NoList;
}

// Whether the updater's own folder can take the list, told when not: its drive has room
// (beyond what every download leaves), and a file can be made there. A leftover of a run
// ended by force under the temporary name goes first: it must not take up the room the list
// and the files need (one another program holds says nothing of the folder).
bool OwnFolderTakesTheList() {
    const std::string folder = OwnFolder();
    const std::string temp = TempFilePath();
    const bool leftoverHeld = platform::FileExists(temp) && !platform::RemoveFile(temp);
    const auto free = platform::FreeBytes(folder);
    if (free.has_value() && *free <= kFreeSpaceMargin) {
        ShowMessageBox("The drive " + folder.substr(0, 2) + " of the updater's folder " +
                           VisibleText(folder) + msg::kOwnDriveFull,
                       msg::kUpdateError, platform::MbOk);
        return false;
    }
    if (leftoverHeld) {
        return true;
    }
    if (!platform::AppendToFile(temp, std::string())) {
        ShowMessageBox(VisibleText(folder) + msg::kOwnFolderNotWritable, msg::kUpdateError,
                       platform::MbOk);
        return false;
    }
    platform::RemoveFile(temp);
    return true;
}

// A list that cannot be read back would pass for an empty release: "no update required". A
// text the release tool could not have written is refused whole, before any folder is made.
ListOutcome ReadNewList(TFORM_MAIN& form, const std::string& local) {
    // Read as patiently as it was moved: a scanner may look at the fresh file for a moment.
    std::string list;
    if (ReadFileBytesPatiently(local, list) != FileRead::Whole) {
        platform::RemoveFile(local);
        ShowMessageBox(msg::kFileOperations, msg::kFileError, platform::MbOkCancel);
        return LeftInPlace(local);
    }
    if (auto damaged = release::DamagedList(list)) {
        platform::RemoveFile(local);
        ShowMessageBox(msg::kDamagedList + *damaged + msg::kNothingChanged, msg::kUpdateError,
                       platform::MbOk);
        return LeftInPlace(local);
    }
    ReadListIntoGrid(list, form.FileListGrid);
    return ListOutcome::Read;
}

} // namespace

void ReadListIntoGrid(const std::string& text, platform::Grid& grid) {
    const std::vector<release::ListEntry> rows = release::ReadListRows(text);
    grid.SetRowCount(rows.empty() ? 1 : static_cast<int>(rows.size()));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        grid.SetCell(0, static_cast<int>(row), rows[row].path);
        grid.SetCell(1, static_cast<int>(row), rows[row].stamp);
    }
}

ListOutcome GetUpdateList(TFORM_MAIN& form) {
    const std::string local = form.PelmoraPath.Text() + release::kLocalListName;
    form.LocalFileListGrid.Clear();
    form.FileListGrid.Clear();
    ReadLocalList(form, local);
    if (!OwnFolderTakesTheList()) {
        return ListOutcome::Refused;
    }
    // Protected, a release that may not be installed is refused before anything is touched.
    const std::optional<protection::OfferedRelease> offered = protection::ReleaseOffered(form);
    if (!offered.has_value()) {
        return ListOutcome::Refused;
    }
    if (form.ManualUpdate.Checked() && !MakeManualTargetFolder(form)) {
        return ListOutcome::Refused;
    }
    // From here until the run ends, the local list cannot be trusted to match the files.
    if (!BeginRunRecord(RunRecordPath(form.PelmoraPath.Text()))) {
        ShowMessageBox(msg::kCouldNotMoveFileList, msg::kUpdateError, platform::MbOk);
        return ListOutcome::Refused;
    }
    const bool localListStays = protection::ListCheckedBeforeLocalListGoes();
    // Without a check before it goes, the local list goes before the download.
    const ListOutcome notFetched = localListStays ? ListOutcome::OldListKept : ListOutcome::NoList;
    const std::string downloaded =
        localListStays ? TempFilePath() : OwnFolder() + release::kLocalListName;
    if (!localListStays) {
        platform::RemoveFileIfPresent(local);
    }
    const std::string url =
        form.URLPath.Text() + release::kListName + CacheBustingQuery(form.Random);
    auto size = DownloadedListSize(FetchFile(url, downloaded, offered->listBounds), downloaded);
    if (!size.has_value()) {
        ShowMessageBox(msg::kCouldNotFileList, msg::kDownloadError, platform::MbOk);
        return notFetched;
    }
    if (!protection::ListAccepted(form, *offered, downloaded)) {
        return notFetched;
    }
    if (localListStays) {
        platform::RemoveFileIfPresent(local);
    }
    // A list that could not be deleted above is the old one, and a move never replaces it.
    const bool oldListStays = platform::FileExists(local);
    if (!PutListInPlace(downloaded, local, *size)) {
        const ListOutcome left = oldListStays ? ListOutcome::OldListKept : LeftInPlace(local);
        ShowMessageBox(msg::kCouldNotMoveFileList, msg::kUpdateError, platform::MbOk);
        return left;
    }
    const ListOutcome read = ReadNewList(form, local);
    if (read == ListOutcome::Read) {
        form.LocalFileListGrid.SetRowCount(form.FileListGrid.RowCount());
    }
    return read;
}

bool StampChanged(TFORM_MAIN& form, int row) {
    return form.LocalFileListGrid.Cell(1, row) != form.FileListGrid.Cell(1, row) ||
           form.ForceUpdate.Checked();
}

bool AlreadyPresent(TFORM_MAIN& form, const std::string& targetPath) {
    return form.ManualUpdate.Checked() && platform::FileExists(targetPath);
}

// In normal mode a listed file missing from the installation is fetched whatever the
// stamps say: the list in place may have been written by a run that never finished.
bool MustReplace(TFORM_MAIN& form, int row, const std::string& targetPath) {
    if (AlreadyPresent(form, targetPath)) {
        return !protection::PresentFileKept(form, row, targetPath);
    }
    if (form.ManualUpdate.Checked()) {
        return StampChanged(form, row);
    }
    return StampChanged(form, row) || !platform::FileExists(targetPath);
}
