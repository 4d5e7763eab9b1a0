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

#include <map>
#include <optional>

namespace {

void RefuseEntry(const std::string& listPath, const char* why) {
    ShowMessageBox(VisibleText(ShortenedForBox(listPath)) + why, msg::kUpdateError, platform::MbOk);
}

void RefuseFolder(const std::string& path) {
    ShowMessageBox(VisibleText(ShortenedForBox(path)) + msg::kCouldNotCreateFolder,
                   msg::kUpdateError, platform::MbOk);
}

// What local paths name on disk: a path's longest existing part by its long names (a short
// alias such as "PELMOR~2.TXT" is the file it stands for), the rest as written. The paths of
// one list share their folders, so each path met is asked of the disk once, and a path whose
// folder is not there is not asked at all.
class NamesOnDisk {
public:
    const std::string& Resolved(const std::string& path) { return Lookup(path).resolved; }

private:
    struct Name {
        bool exists = false;
        std::string resolved;
    };

    const Name& Lookup(const std::string& path) {
        if (auto it = names_.find(path); it != names_.end()) {
            return it->second;
        }
        const release::CodePage& page = SystemCodePage();
        std::size_t slash = std::string::npos;
        for (std::size_t p = page.Find(path, "\\"); p != std::string::npos;
             p = page.Find(path, "\\", p + 1)) {
            slash = p;
        }
        Name name{false, path};
        if (slash == std::string::npos || slash < 3) {
            if (auto longName = platform::LongPathName(path)) {
                name = {true, *longName};
            }
        } else {
            const Name& folder = Lookup(path.substr(0, slash));
            std::optional<std::string> longName;
            if (folder.exists) {
                longName = platform::LongPathName(path);
            }
            name = longName ? Name{true, *longName}
                            : Name{false, folder.resolved + path.substr(slash)};
        }
        return names_.emplace(path, std::move(name)).first->second;
    }

    std::map<std::string, Name> names_; // its nodes stay where they are as it grows
};

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
    NamesOnDisk onDisk;
    const release::Places places{
        form.PelmoraPath.Text(), normalMode ? runBackupFolder : std::string(),
        [&onDisk](const std::string& path) { return onDisk.Resolved(path); },
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
