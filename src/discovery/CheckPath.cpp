// "Check Local Path": finds the installation folder and writes it into PelmoraPath.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../app/VisibleText.h"
#include "../files/ProgramFiles.h"
#include "../files/RunRecord.h"
#include "../platform/Files.h"
#include "../platform/System.h"
#include "Discovery.h"

namespace {

bool StartedFromBrowserCache() {
    std::string folder = OwnFolder();
    return folder.find("Temporary Internet Files") != std::string::npos ||
           folder.find("Content.IE") != std::string::npos;
}

void SearchCandidates(TFORM_MAIN& form) {
    form.SearchDataGrid.Clear();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        SearchFolders(form, std::string(1, letter) + ":\\", true);
    }
    std::string programFiles = platform::EnvironmentVariable("ProgramFiles").value_or("");
    SearchFolders(form, programFiles + "\\Tarnell\\", true);
}

// Writes the chosen folder when the product's executable is in it.
void AcceptFolder(TFORM_MAIN& form, int row) {
    if (row == -1) {
        form.PelmoraPath.SetText("File Not Found");
        return;
    }
    std::string folder = form.SearchDataGrid.Cell(0, row) + "\\";
    const std::string exe = folder + form.ExeName.Text();
    // A run that ended between moving the executable's previous version away and putting the
    // new one in place left it in the backup folder: it goes back, so the folder is found.
    const std::string record = RunRecordPath(folder);
    if (!platform::FileExists(exe) && RunRecordExists(record) &&
        RestoreRecordedBackups(record).damaged) {
        ShowMessageBox(VisibleText(folder) + msg::kDamagedRecord, msg::kUpdateError,
                       platform::MbOk);
    }
    if (platform::FileExists(exe)) {
        form.PelmoraPath.SetText(folder);
        form.UpdateSoftwareButton.SetEnabled(true);
    } else {
        form.PelmoraPath.SetText("File Not Found");
    }
}

} // namespace

void TFORM_MAIN::CheckPathButtonClick() {
    UpdateSoftwareButton.SetEnabled(false);
    if (IsProcessRunning(FindProcessByName(ExeName.Text()))) {
        ShowMessageBox(msg::kProductRunning, msg::kUpdateError, platform::MbOk);
        return;
    }
    if (StartedFromBrowserCache()) {
        ShowMessageBox(msg::kTemporaryInternetFiles, msg::kUpdateError, platform::MbOk);
        return;
    }
    SearchCandidates(*this);
    AcceptFolder(*this, SelectInstallFolder(*this));
    if (!UpdateSoftwareButton.Enabled()) {
        ShowMessageBox(msg::kCouldNotFindExecutable, msg::kUpdateError, platform::MbOk);
    }
}
