// The updater without a release key: it takes what the server sends, as the list names it.
#include "Protection.h"

namespace protection {

std::optional<OfferedRelease> ReleaseOffered(TFORM_MAIN&) {
    return OfferedRelease{};
}

bool ListCheckedBeforeLocalListGoes() {
    return false;
}

bool ListAccepted(TFORM_MAIN&, const OfferedRelease&, const std::string&) {
    return true;
}

platform::DownloadBounds FileBounds(TFORM_MAIN&, int) {
    return platform::DownloadBounds{};
}

bool HashesDownloads() {
    return false;
}

bool RowVerifiable(TFORM_MAIN&, int) {
    return true;
}

bool DownloadMatches(TFORM_MAIN&, int, const std::string&, const platform::Sha256Digest&) {
    return true;
}

bool PresentFileKept(TFORM_MAIN&, int, const std::string&) {
    return true;
}

bool LauncherMatches(TFORM_MAIN&) {
    return true;
}

} // namespace protection
