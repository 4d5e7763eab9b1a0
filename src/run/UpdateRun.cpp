// "Download Files": the update run. It fetches the list, walks its rows, backs up and
// replaces each changed file, moves the marker file, reports, and starts the launcher.
// Controls are read afresh at every use: a click on "Manual Update" handled in a pump
// changes the mode and the target folder for the rest of the run.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../discovery/Discovery.h"
#include "../platform/Files.h"
#include "../platform/Processes.h"
#include "../platform/System.h"
#include "../transfer/ReleaseSignature.h"
#include "../transfer/Transfer.h"
#include "Run.h"

namespace {

struct RunState {
    bool runOk = true;
    int replacedCount = 0;
    bool exeReplaced = false;
};

enum class RowEnd { Next, Failed, DownloadFailed };

bool ManualMode(TFORM_MAIN& form) {
    return form.ManualUpdate.Checked();
}

void DeleteLocalList(TFORM_MAIN& form) {
    platform::RemoveFileIfPresent(form.PelmoraPath.Text() + kListFileName);
}

void FolderFailure(const std::string& result) {
    ShowMessageBox(ErrorFolder(result) + msg::kCouldNotCreateFolder, msg::kUpdateError,
                   platform::MbOk);
}

// The previous version goes back to its place when the new one could not take it.
void RestorePrevious(const std::string& backupPath, const std::string& targetPath) {
    if (!backupPath.empty() && platform::FileExists(backupPath) &&
        !platform::FileExists(targetPath)) {
        MoveFilePatiently(backupPath, targetPath);
    }
}

// Steps of one row: its folders, its file name, the decision, download, backup, put in place.
RowEnd ProcessRow(TFORM_MAIN& form, int row, const std::string& runBackupFolder, RunState& run) {
    const std::string listPath = form.FileListGrid.Cell(0, row);
    const std::string targetFolder = ListPathToLocal(form, form.PelmoraPath.Text(), listPath);
    if (IsErrorText(targetFolder)) {
        FolderFailure(targetFolder);
        return RowEnd::Failed;
    }
    std::string backupFolder;
    if (!ManualMode(form)) {
        backupFolder = ListPathToLocal(form, runBackupFolder, listPath);
        if (IsErrorText(backupFolder)) {
            FolderFailure(backupFolder);
            return RowEnd::Failed;
        }
    }
    const std::string fileName = ListPathFileName(form, row);
    if (RefusedName(fileName)) {
        ShowMessageBox(listPath + msg::kRefusedFileName, msg::kUpdateError, platform::MbOk);
        return RowEnd::Failed;
    }
    const std::string targetPath = targetFolder + fileName;
    if (!MustReplace(form, row, targetPath)) {
        return RowEnd::Next;
    }
    // An entry that names only a folder has nothing to install: its folder is made above.
    if (fileName.empty()) {
        ShowMessageBox(listPath + msg::kRefusedFileName, msg::kUpdateError, platform::MbOk);
        return RowEnd::Failed;
    }
    ++run.replacedCount;
    if (fileName == form.ExeName.Text()) {
        run.exeReplaced = true;
    }
    if (!DownloadFile(form, row)) {
        ShowMessageBox(msg::kCouldNotDownload, fileName, platform::MbOk);
        return RowEnd::DownloadFailed;
    }
    std::string backupPath;
    if (platform::FileExists(targetPath)) {
        // A row whose backup folder was not made (the mode changed during this row) has
        // nowhere safe to keep its previous version.
        backupPath = backupFolder.empty() ? std::string() : backupFolder + fileName;
        if (backupPath.empty() || !MoveFilePatiently(targetPath, backupPath)) {
            ShowMessageBox(msg::kCouldNotBackup, fileName, platform::MbOk);
            return RowEnd::Failed;
        }
    }
    const std::string temp = TempFilePath();
    const char* failure = FolderOf(platform::OwnExecutablePath()) == targetFolder
                              ? msg::kCouldNotRename
                              : msg::kCouldNotMoveDownloaded;
    if (!platform::FileExists(temp) || !MoveFilePatiently(temp, targetPath)) {
        RestorePrevious(backupPath, targetPath);
        ShowMessageBox(failure, fileName, platform::MbOk);
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

void Report(TFORM_MAIN& form, const RunState& run) {
    if (run.runOk && !ManualMode(form)) {
        if (run.replacedCount > 0) {
            ShowMessageBox(std::to_string(run.replacedCount) + msg::kFilesUpdated, "",
                           platform::MbOk);
        } else {
            ShowMessageBox(msg::kNoUpdateRequired, "", platform::MbOk);
        }
    }
    if (!run.runOk) {
        DeleteLocalList(form);
        ShowMessageBox(msg::kUpdateManually, msg::kError, platform::MbOk);
    } else if (run.exeReplaced && !ManualMode(form)) {
        ShowMessageBox(msg::kProductUpdated, "", platform::MbOk);
    }
}

// The launcher's path is quoted: unquoted, Windows would try "C:\Program.exe" and the like
// first for a path with blanks.
void Launch(TFORM_MAIN& form) {
    if (release::kProtected && !release::LauncherMatches(form)) {
        return;
    }
    platform::MinimiseApplication();
    if (platform::StartProcess("\"" + form.PelmoraPath.Text() + kLauncherName + "\"")) {
        platform::TerminateApplication();
    }
}

} // namespace

void TFORM_MAIN::UpdateSoftwareButtonClick() {
    RunState run;
    if (!GetUpdateList(*this)) {
        return;
    }
    SetControlsEnabled(false);
    const std::string runBackupFolder =
        PelmoraPath.Text() + "UpdateBackup\\" + MakeRunStamp() + "\\";
    for (int row = 0; row < FileListGrid.RowCount() && run.runOk; ++row) {
        RowEnd end = ProcessRow(*this, row, runBackupFolder, run);
        if (end == RowEnd::DownloadFailed) {
            // The new list must not claim the files that were not fetched.
            DeleteLocalList(*this);
            SetControlsEnabled(true);
            return;
        }
        run.runOk = end == RowEnd::Next;
    }
    if (!MoveMarker(*this, runBackupFolder)) {
        if (!run.runOk) {
            DeleteLocalList(*this);
        }
        ShowMessageBox(msg::kCouldNotMoveMarker, msg::kUpdateError, platform::MbOk);
        SetControlsEnabled(true);
        return;
    }
    Report(*this, run);
    if (ManualMode(*this)) {
        DeleteLocalList(*this);
    }
    Launch(*this);
}
