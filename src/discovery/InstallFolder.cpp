// The choice of the installation folder among the candidates, by the version its name ends in.
#include "../app/Main.h"
#include "../app/Messages.h"
#include "Discovery.h"
#include "Versions.h"

namespace {

bool Unreadable(const VersionParts& parts) {
    return parts.major == -1 || parts.minor == -1 || parts.build == -1;
}

bool CarriesVersion(const VersionParts& parts) {
    return parts.major > 0 || parts.minor > 0 || parts.build > 0;
}

// Version 0.0.1 is accepted whatever the bounds.
bool Accepted(TFORM_MAIN& form, std::int32_t version) {
    if (version == 1) {
        return true;
    }
    return TextToInt(form.Min_Version.Text()) <= version &&
           version < TextToInt(form.Max_Version.Text());
}

} // namespace

int SelectInstallFolder(TFORM_MAIN& form) {
    platform::Grid& grid = form.SearchDataGrid;
    if (grid.Cell(0, 0).empty()) {
        return -1;
    }
    std::int32_t bestVersion = 0;
    int bestRow = -1;
    for (int row = 0; row < grid.RowCount(); ++row) {
        const std::string& cell = grid.Cell(0, row);
        VersionParts parts = ReadVersionParts(FolderVersionTail(cell));
        // A version too large for 32 bits is as unreadable as an empty part.
        if (Unreadable(parts) || (CarriesVersion(parts) && PackVersion(parts) == -1)) {
            ShowMessageBox(cell + msg::kNotValidDirectory, msg::kError, platform::MbOk);
            return -1;
        }
        if (!CarriesVersion(parts)) {
            continue;
        }
        std::int32_t version = PackVersion(parts);
        if (version > bestVersion) {
            bestVersion = version;
            bestRow = row;
        }
        if (!Accepted(form, bestVersion)) {
            ShowMessageBox(grid.Cell(0, bestRow) + msg::kIncorrectVersion, msg::kError,
                           platform::MbOk);
            return -1;
        }
    }
    return bestRow;
}
