// The update list: reading a list file into a grid, fetching the remote list, and the
// per-entry replacement decision.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../discovery/Discovery.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../platform/System.h"
#include "ReleaseSignature.h"
#include "Transfer.h"

#include <exception>
#include <vector>

bool ReadWholeFile(const std::string& fileName, std::string& text) {
    text.clear();
    try {
        platform::ExclusiveFile file(fileName);
        std::int64_t size = file.Size();
        if (size < 0) {
            return false;
        }
        std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
        std::int64_t got = file.Read(buffer.data(), size);
        text.append(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
        return got == size;
    } catch (const std::exception&) {
        ShowMessageBox(msg::kFileOperations, msg::kFileError, platform::MbOkCancel);
        return false;
    }
}

std::string ReadFileText(const std::string& fileName) {
    std::string text;
    ReadWholeFile(fileName, text);
    return text;
}

namespace {

// One entry a line, lines split at CR LF; a rest of 2 characters or fewer is dropped.
void SplitLines(const std::string& text, platform::Grid& grid) {
    std::size_t pos = 0;
    while (text.size() - pos > 2) {
        std::string line;
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            line = text.substr(pos);
            pos = text.size();
        } else {
            line = text.substr(pos, end - pos);
            pos = end + 2;
        }
        grid.Append(std::move(line));
    }
}

// The path is the text before the first TAB, the stamp all the text after it.
void SplitStamps(platform::Grid& grid) {
    for (int row = 0; row < grid.RowCount(); ++row) {
        const std::string& cell = grid.Cell(0, row);
        auto tab = cell.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        grid.SetCell(1, row, cell.substr(tab + 1));
        grid.SetCell(0, row, cell.substr(0, tab));
    }
}

bool SamePath(const std::string& a, const std::string& b) {
    return platform::CompareTextNoCase(a, b) == 0;
}

// The list download succeeded only with a file of at least 2 bytes.
bool ListDownloaded(bool called, const std::string& file) {
    if (!called || !platform::FileExists(file)) {
        return false;
    }
    auto size = platform::FileSize(file);
    return size.has_value() && *size >= 2;
}

} // namespace

void ReadListIntoGrid(const std::string& text, platform::Grid& grid) {
    SplitLines(text, grid);
    SplitStamps(grid);
}

bool GetUpdateList(TFORM_MAIN& form) {
    const std::string downloaded = FolderOf(platform::OwnExecutablePath()) + kListFileName;
    const std::string local = form.PelmoraPath.Text() + kListFileName;
    form.LocalFileListGrid.Clear();
    form.FileListGrid.Clear();
    if (platform::FileExists(local)) {
        ReadListIntoGrid(ReadFileText(local), form.LocalFileListGrid);
    }
    if (form.ManualUpdate.Checked()) {
        const std::string target = form.PelmoraPath.Text();
        const std::string made = ListPathToLocal(
            form, target.substr(0, 3), target.size() > 3 ? target.substr(3) : std::string());
        if (IsErrorText(made)) {
            // Said, not silent: otherwise the start-up run would end with an empty window.
            ShowMessageBox(ErrorFolder(made) + msg::kCouldNotCreateFolder, msg::kUpdateError,
                           platform::MbOk);
            return false;
        }
    }
    platform::RemoveFileIfPresent(local);
    const std::string url = form.URLPath.Text() + "filelist.txt" + CacheBustingQuery(form.Random);
    if (!ListDownloaded(platform::DownloadToFile(url, downloaded), downloaded)) {
        ShowMessageBox(msg::kCouldNotFileList, msg::kDownloadError, platform::MbOk);
        return false;
    }
    if (release::kProtected && !release::ListAccepted(form, downloaded)) {
        return false;
    }
    // When the updater runs from the target folder the list was fetched straight into place.
    if (!SamePath(downloaded, local) &&
        platform::MoveExisting(downloaded, local) != platform::MoveResult::Moved) {
        ShowMessageBox(msg::kCouldNotMoveFileList, msg::kUpdateError, platform::MbOk);
        return false;
    }
    // A list that cannot be read back would pass for an empty release: "no update required".
    std::string list;
    if (!ReadWholeFile(local, list)) {
        platform::RemoveFile(local);
        ShowMessageBox(msg::kFileOperations, msg::kFileError, platform::MbOkCancel);
        return false;
    }
    ReadListIntoGrid(list, form.FileListGrid);
    form.LocalFileListGrid.SetRowCount(form.FileListGrid.RowCount());
    return true;
}

bool StampChanged(TFORM_MAIN& form, int row) {
    return form.LocalFileListGrid.Cell(1, row) != form.FileListGrid.Cell(1, row) ||
           form.ForceUpdate.Checked();
}

bool AlreadyPresent(TFORM_MAIN& form, const std::string& targetPath) {
    return form.ManualUpdate.Checked() && platform::FileExists(targetPath);
}

bool MustReplace(TFORM_MAIN& form, int row, const std::string& targetPath) {
    if (release::kProtected && AlreadyPresent(form, targetPath)) {
        return !release::PresentFileKept(form, row, targetPath);
    }
    return !AlreadyPresent(form, targetPath) && StampChanged(form, row);
}
