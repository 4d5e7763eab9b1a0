// "Download Files": the update run. It fetches the list, walks its rows, backs up and
// replaces each changed file, moves the marker file, reports, and starts the launcher.
// Controls are read afresh at every use: a click on "Manual Update" handled in a pump
// changes the mode and the target folder for the rest of the run.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../app/VisibleText.h"
#include "../files/ProgramFiles.h"
#include "../files/RunRecord.h"
#include "../platform/Files.h"
#include "../platform/Processes.h"
#include "../platform/System.h"
#include "../release/Applicable.h"
#include "../transfer/Ahead.h"
#include "../transfer/Parts.h"
#include "../transfer/Protection.h"
#include "../transfer/Transfer.h"
#include "Run.h"

namespace {

struct RunState {
    int replacedCount = 0;
    bool exeReplaced = false;
    std::string backupFolder; // UpdateBackup\<run stamp>\ in the target folder
};

enum class RowEnd { Next, Failed, DownloadFailed };

// How a run ended, for its record and its report.
enum class RunEnd {
    ListUntouched, // before the rows: any local list is the one the run found
    ListMayBeNew,  // before the rows: the file at the local list's place may be the new list
    ListRefused,   // the new list cannot be applied: nothing was made or fetched
    Stopped,       // a download failed: the run stops where it is
    Failed,        // a row failed: the run ends with its marker and report
    Completed,
};

bool ManualMode(TFORM_MAIN& form) {
    return form.ManualUpdate.Checked();
}

std::string LocalListPath(TFORM_MAIN& form) {
    return form.PelmoraPath.Text() + release::kLocalListName;
}

void DeleteLocalList(TFORM_MAIN& form) {
    platform::RemoveFileIfPresent(LocalListPath(form));
}

void FolderFailure(const std::string& result) {
    ShowMessageBox(VisibleText(ErrorFolder(result)) + msg::kCouldNotCreateFolder, msg::kUpdateError,
                   platform::MbOk);
}

void RefusedFileName(const std::string& listPath) {
    ShowMessageBox(VisibleText(listPath) + msg::kRefusedFileName, msg::kUpdateError,
                   platform::MbOk);
}

// A failure of one row's file, with the file's name as the caption.
void RowFailure(const char* text, const std::string& fileName) {
    ShowMessageBox(text, VisibleText(fileName), platform::MbOk);
}

// The previous version goes back to its place when the new one could not take it.
void RestorePrevious(const std::string& backupPath, const std::string& targetPath) {
    if (!backupPath.empty() && platform::FileExists(backupPath) &&
        !platform::FileExists(targetPath)) {
        MoveFilePatiently(backupPath, targetPath);
    }
}

// The previous version leaves for the backup folder only once the record names it, so that
// a run that dies before the new version arrives cannot lose it.
bool BackUp(const std::string& record, const std::string& targetPath,
            const std::string& backupPath) {
    return !backupPath.empty() && RecordBackup(record, backupPath, targetPath) &&
           MoveFilePatiently(targetPath, backupPath);
}

// Across volumes a move copies: the new version reaches the target's own folder under the
// temporary name first, and only then takes the target's place by a rename there, so a copy
// that stops part-way (a full disk) leaves a cut copy under that name, never at the target
// path. The staged file is always the updater's own, so it may go whatever else failed.
bool PutInPlaceAcrossVolumes(const std::string& temp, const std::string& targetFolder,
                             const std::string& targetPath) {
    const std::string staged = targetFolder + release::kTempFileName;
    const auto size = platform::FileSize(temp);
    platform::RemoveFileIfPresent(staged); // left by a run that ended between its moves
    const bool placed = size.has_value() && MoveFilePatiently(temp, staged) &&
                        platform::FileSize(staged) == size && MoveFilePatiently(staged, targetPath);
    if (!placed) {
        platform::RemoveFileIfPresent(staged);
    }
    return placed;
}

// On the updater's own volume the new version takes the target's place by one rename, which
// cannot stop part-way; the previous version goes back when the new one could not come.
bool PutInPlace(const std::string& temp, const std::string& targetFolder,
                const std::string& targetPath, const std::string& backupPath) {
    const platform::MoveResult renamed = RenameFilePatiently(temp, targetPath);
    const bool placed = renamed == platform::MoveResult::Moved ||
                        (renamed == platform::MoveResult::OtherVolume &&
                         PutInPlaceAcrossVolumes(temp, targetFolder, targetPath));
    if (!placed) {
        RestorePrevious(backupPath, targetPath);
    }
    return placed;
}

// Steps of one row: its folders, its file name, the decision, download, backup, put in place.
RowEnd ProcessRow(TFORM_MAIN& form, int row, const std::string& record, RunState& run,
                  KnownFolders& known) {
    const std::string listPath = form.FileListGrid.Cell(0, row);
    const std::string targetFolder =
        ListPathToLocal(form, form.PelmoraPath.Text(), listPath, &known);
    if (IsErrorText(targetFolder)) {
        FolderFailure(targetFolder);
        return RowEnd::Failed;
    }
    std::string backupFolder;
    if (!ManualMode(form)) {
        backupFolder = ListPathToLocal(form, run.backupFolder, listPath, &known);
        if (IsErrorText(backupFolder)) {
            FolderFailure(backupFolder);
            return RowEnd::Failed;
        }
    }
    const std::string fileName = ListPathFileName(form, row);
    const std::string targetPath = targetFolder + fileName;
    // A name that cannot be installed safely (or names only a folder, which is made above)
    // stops the run only when the stamps ask for its file; it is never "missing".
    const bool installable =
        !fileName.empty() && !release::RefusedLevelName(fileName, SystemCodePage());
    const bool foundAbsent = ManualMode(form); // manual mode fetches only a file not there
    const bool replace = installable ? MustReplace(form, row, targetPath)
                                     : !AlreadyPresent(form, targetPath) && StampChanged(form, row);
    if (!replace) {
        return RowEnd::Next;
    }
    if (!installable) {
        RefusedFileName(listPath);
        return RowEnd::Failed;
    }
    ++run.replacedCount;
    if (fileName == form.ExeName.Text()) {
        run.exeReplaced = true;
    }
    if (!DownloadFile(form, row)) {
        RowFailure(msg::kCouldNotDownload, fileName);
        return RowEnd::DownloadFailed;
    }
    std::string backupPath;
    // A place found empty moments ago is not asked again; a file that came meanwhile makes
    // the put-in-place fail, as no move replaces a file.
    if (!foundAbsent && platform::FileExists(targetPath)) {
        // A row whose backup folder was not made (the mode changed during this row) has
        // nowhere safe to keep its previous version.
        backupPath = backupFolder.empty() ? std::string() : backupFolder + fileName;
        if (!BackUp(record, targetPath, backupPath)) {
            RowFailure(msg::kCouldNotBackup, fileName);
            return RowEnd::Failed;
        }
    }
    const char* failure =
        OwnFolder() == targetFolder ? msg::kCouldNotRename : msg::kCouldNotMoveDownloaded;
    if (!PutInPlace(TempFilePath(), targetFolder, targetPath, backupPath)) {
        RowFailure(failure, fileName);
        return RowEnd::Failed;
    }
    return RowEnd::Next;
}

// The marker file goes into the run backup folder in normal mode; false when it cannot.
bool MoveMarker(TFORM_MAIN& form, const std::string& runBackupFolder) {
    const std::string marker = DocumentsRoot() + kMarkerTail;
    if (!platform::FileExists(marker) || ManualMode(form)) {
        return true;
    }
    return MoveFilePatiently(marker, runBackupFolder + kMarkerName);
}

void Report(TFORM_MAIN& form, const RunState& run, bool runOk) {
    if (runOk && !ManualMode(form)) {
        if (run.replacedCount > 0) {
            ShowMessageBox(std::to_string(run.replacedCount) + msg::kFilesUpdated, "",
                           platform::MbOk);
        } else {
            ShowMessageBox(msg::kNoUpdateRequired, "", platform::MbOk);
        }
    }
    if (!runOk) {
        DeleteLocalList(form);
        ShowMessageBox(msg::kUpdateManually, msg::kError, platform::MbOk);
    } else if (run.exeReplaced && !ManualMode(form)) {
        ShowMessageBox(msg::kProductUpdated, "", platform::MbOk);
    }
}

// The launcher's path is quoted: unquoted, Windows would try "C:\Program.exe" and the like
// first for a path with blanks.
void Launch(TFORM_MAIN& form) {
    if (!protection::LauncherMatches(form)) {
        return;
    }
    platform::MinimiseApplication();
    if (platform::StartProcess("\"" + form.PelmoraPath.Text() + kLauncherName + "\"")) {
        platform::TerminateApplication();
    }
}

// A run here that never ended may have left a previous version in its backup folder and none
// in its place: it goes back. Lines of the record that name anything else are not followed.
void RepairAfterAnUnfinishedRun(TFORM_MAIN& form, const std::string& record) {
    if (RestoreRecordedBackups(record).damaged) {
        ShowMessageBox(VisibleText(form.PelmoraPath.Text()) + msg::kDamagedRecord,
                       msg::kUpdateError, platform::MbOk);
    }
}

// The run from its list to its last row.
RunEnd UpdateFiles(TFORM_MAIN& form, const std::string& record, RunState& run) {
    switch (GetUpdateList(form)) {
    case ListOutcome::Read:
        break;
    case ListOutcome::Refused:
    case ListOutcome::OldListKept:
    case ListOutcome::NoList:
        return RunEnd::ListUntouched;
    case ListOutcome::NewListMayBeInPlace:
        return RunEnd::ListMayBeNew;
    }
    KeepPartsOfList(form.FileListGrid); // parts of files this list no longer names go
    run.backupFolder =
        form.PelmoraPath.Text() + release::kBackupFolderName + "\\" + MakeRunStamp() + "\\";
    // A list this updater cannot apply is refused whole, before anything is made or fetched.
    if (!ListApplies(form, run.backupFolder)) {
        return RunEnd::ListRefused;
    }
    form.SetControlsEnabled(false);
    FetchAhead ahead(form); // files of rows ahead, fetched while the run waits for one
    KnownFolders known;     // the folders this run has made sure of
    for (int row = 0; row < form.FileListGrid.RowCount(); ++row) {
        switch (ProcessRow(form, row, record, run, known)) {
        case RowEnd::Next:
            break;
        case RowEnd::Failed:
            return RunEnd::Failed;
        case RowEnd::DownloadFailed:
            return RunEnd::Stopped;
        }
    }
    return RunEnd::Completed;
}

// The record goes when the run has ended with nothing pending: it stays while a previous
// version may still need to come back, or while a local list may claim versions that are not
// in place (a record an unfinished run left, and the list that run left with it, included).
// A run that did not complete leaves no list that claims the files it did not put in place.
void CloseRunRecord(TFORM_MAIN& form, const std::string& record, bool inherited, RunEnd end) {
    switch (end) {
    case RunEnd::Completed:
        EndRunRecord(record);
        return;
    case RunEnd::ListUntouched:
        if (!inherited) {
            EndRunRecord(record);
            return;
        }
        break;
    case RunEnd::ListMayBeNew:
        break;
    case RunEnd::ListRefused:
    case RunEnd::Stopped:
    case RunEnd::Failed:
        DeleteLocalList(form);
        break;
    }
    if (!platform::FileExists(LocalListPath(form))) {
        EndRunRecord(record);
    }
}

} // namespace

void TFORM_MAIN::UpdateSoftwareButtonClick() {
    const std::string record = RunRecordPath(PelmoraPath.Text());
    const bool inherited = RunRecordExists(record);
    if (inherited) {
        RepairAfterAnUnfinishedRun(*this, record);
    }
    RunState run;
    const RunEnd end = UpdateFiles(*this, record, run);
    CloseRunRecord(*this, record, inherited, end);
    switch (end) {
    case RunEnd::ListUntouched:
    case RunEnd::ListMayBeNew:
    case RunEnd::ListRefused:
        return;
    case RunEnd::Stopped:
        SetControlsEnabled(true);
        return;
    case RunEnd::Failed:
    case RunEnd::Completed:
        break;
    }
    if (!MoveMarker(*this, run.backupFolder)) {
        ShowMessageBox(msg::kCouldNotMoveMarker, msg::kUpdateError, platform::MbOk);
        SetControlsEnabled(true);
        return;
    }
    Report(*this, run, end == RunEnd::Completed);
    if (ManualMode(*this)) {
        DeleteLocalList(*this);
    }
    Launch(*this);
}
