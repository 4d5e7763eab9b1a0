// File names of list paths, download URLs and the download of one listed file.
#include "../app/Main.h"
#include "../files/ProgramFiles.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../platform/System.h"
#include "Protection.h"
#include "Transfer.h"

std::string ListPathFileName(TFORM_MAIN& form, int row) {
    const std::string& path = form.FileListGrid.Cell(0, row);
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CacheBustingQueryFor(int first, int second) {
    return "?fakevariable=" + std::to_string(second) + std::to_string(first);
}

std::string CacheBustingQuery(RandomGenerator& random) {
    int first = random.Draw();
    int second = random.Draw();
    return CacheBustingQueryFor(first, second);
}

namespace {

void ShowDownloadLabels(TFORM_MAIN& form, bool visible) {
    form.DownloadLabel.SetVisible(visible);
    form.ShowFileName.SetVisible(visible);
}

} // namespace

bool DownloadFile(TFORM_MAIN& form, int row) {
    const std::string temp = TempFilePath();
    platform::RemoveFileIfPresent(temp);
    if (!protection::RowVerifiable(form, row)) {
        return false;
    }
    const std::string listPath = form.FileListGrid.Cell(0, row);
    const std::string url = form.URLPath.Text() + listPath + CacheBustingQuery(form.Random);
    ShowDownloadLabels(form, true);
    form.ShowFileName.SetText(listPath);
    ProcessMessages();
    platform::Sha256Digest digest{};
    bool downloaded =
        platform::DownloadToFile(url, temp, protection::HashesDownloads() ? &digest : nullptr,
                                 protection::FileBounds(form, row));
    ShowDownloadLabels(form, false);
    ProcessMessages();
    return platform::FileExists(temp) && downloaded &&
           protection::DownloadMatches(form, row, temp, digest);
}
