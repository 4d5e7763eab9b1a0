// The updater without a release key: it takes what the server sends, as the list names it;
// a file whose stamp states its size and hash is still held to them.
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

std::uint64_t UnsizedFileMaximum() {
    return DownloadBounds{}.maxLength;
}

bool HashAlwaysChecked() {
    return false;
}

bool RowVerifiable(TFORM_MAIN&, int) {
    return true;
}

bool RowVerifiableSilently(TFORM_MAIN&, int) {
    return true;
}

void TellFileMismatch(TFORM_MAIN&, int) {}

bool PresentFileKept(TFORM_MAIN&, int, const std::string&) {
    return true;
}

bool LauncherMatches(TFORM_MAIN&) {
    return true;
}

} // namespace protection
