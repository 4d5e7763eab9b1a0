// "Check Local Path": finds the installation folder and writes it into PelmoraPath.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../platform/Files.h"
#include "../platform/System.h"
#include "Discovery.h"

std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

bool StartedFromBrowserCache() {
    std::string folder = FolderOf(platform::OwnExecutablePath());
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
    if (platform::FileExists(folder + form.ExeName.Text())) {
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
