// Whether the new update list is one this updater can apply, decided over the whole list
// before anything is made or fetched (by the rules of release/Applicable.h): a list whose
// entries would overwrite the updater's own working files, name one file twice, or lead to
// folders or paths Windows cannot take is refused as a whole.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "../app/VisibleText.h"
#include "../platform/Files.h"
#include "../release/Applicable.h"
#include "Transfer.h"

namespace {

void RefuseEntry(const std::string& listPath, const char* why) {
    ShowMessageBox(VisibleText(ShortenedForBox(listPath)) + why, msg::kUpdateError, platform::MbOk);
}

void RefuseFolder(const std::string& path) {
    ShowMessageBox(VisibleText(ShortenedForBox(path)) + msg::kCouldNotCreateFolder,
                   msg::kUpdateError, platform::MbOk);
}

// What a local path names on disk: its longest existing part by its long names (a short
// alias such as "PELMOR~2.TXT" is the file it stands for), the rest as written.
std::string ResolvedOnDisk(const std::string& path) {
    const release::CodePage& page = SystemCodePage();
    std::string head = path;
    std::string tail;
    while (true) {
        if (auto longName = platform::LongPathName(head)) {
            return *longName + tail;
        }
        std::size_t slash = std::string::npos;
        for (std::size_t p = page.Find(head, "\\"); p != std::string::npos;
             p = page.Find(head, "\\", p + 1)) {
            slash = p;
        }
        if (slash == std::string::npos || slash < 3) {
            return path;
        }
        tail = head.substr(slash) + tail;
        head.erase(slash);
    }
}

std::vector<release::ListEntry> Rows(const platform::Grid& list) {
    std::vector<release::ListEntry> rows;
    for (int row = 0; row < list.RowCount(); ++row) {
        rows.push_back({list.Cell(0, row), list.Cell(1, row)});
    }
    return rows;
}

} // namespace

bool ListApplies(TFORM_MAIN& form, const std::string& runBackupFolder) {
    const bool normalMode = !form.ManualUpdate.Checked();
    const release::Places places{
        form.PelmoraPath.Text(), normalMode ? runBackupFolder : std::string(), ResolvedOnDisk,
        [&](std::size_t row) { return StampChanged(form, static_cast<int>(row)); }};
    const auto refusal = release::RefusedList(Rows(form.FileListGrid), places, SystemCodePage());
    if (!refusal.has_value()) {
        return true;
    }
    switch (refusal->why) {
    case release::Refusal::WorkingFile:
    case release::Refusal::FileName:
        RefuseEntry(refusal->subject, msg::kRefusedFileName);
        break;
    case release::Refusal::NamedTwice:
        RefuseEntry(refusal->subject, msg::kNamedTwice);
        break;
    case release::Refusal::TooLong:
    case release::Refusal::RefusedFolder:
        RefuseFolder(refusal->subject);
        break;
    }
    return false;
}
