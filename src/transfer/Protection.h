// The protected updater's checks, a link-time choice: a build with the maker's public key
// (QUORVEL_RELEASE_KEY) links Protected.cpp and installs and starts only what the maker
// signed; one without links Unprotected.cpp, where every check passes and nothing is hashed.
#pragma once

#include "../platform/Crypto.h"
#include "Fetch.h"

#include <optional>
#include <string>

class TFORM_MAIN;

namespace protection {

// The release the server offers, as its signature file states it once that is accepted: the
// bounds the list is fetched within, and the signature file's bytes, kept once the list is.
struct OfferedRelease {
    DownloadBounds listBounds;
    std::string signature;
    platform::P256PublicKey key{}; // that signed it, as the key statements lead to it
};

// Before the list is fetched and before anything of the run is touched: fetches the signature
// file, walks the key statements to the key it names (keeping each one accepted), and checks
// its key, its expiry and its release number against the one in place. A refusal is told,
// leaves nothing behind but the statements accepted, and gives nothing.
std::optional<OfferedRelease> ReleaseOffered(TFORM_MAIN& form);

// Whether the local list stays until the fetched list is accepted, so that a refused release
// leaves it as it was: the list is then fetched under the temporary name, never into its place.
bool ListCheckedBeforeLocalListGoes();

// Right after the list download, before the list is moved or read: the list is the one the
// offered signature names, and the signature file replaces the kept one in one step. A
// refusal is told, leaves neither download behind and gives false.
bool ListAccepted(TFORM_MAIN& form, const OfferedRelease& offered,
                  const std::string& downloadedList);

// The most a row's file may be when its stamp states no size (one that does is fetched at
// exactly that size in every build).
std::uint64_t UnsizedFileMaximum();

// Whether a stamp that names a hash but no size still holds its file to that hash.
bool HashAlwaysChecked();

// Before a row's download: its stamp carries a content hash, or need not (told when it must).
bool RowVerifiable(TFORM_MAIN& form, int row);
// The same, telling nobody: whether a row's file may be fetched ahead of its turn.
bool RowVerifiableSilently(TFORM_MAIN& form, int row);
// After it, when the fetched file is not the one the row's stamp names by size and hash: what
// the operator is told besides the failed download.
void TellFileMismatch(TFORM_MAIN& form, int row);

// Manual mode, a file already at the row's target path: true when it is kept; otherwise it
// is removed, so that the fetched one takes its place. Protected, only the signed file is kept.
bool PresentFileKept(TFORM_MAIN& form, int row, const std::string& targetPath);

// Right before the start: the launcher in the target folder is the one the signed list
// names (told when not). True when there is no launcher: nothing would start anyway.
bool LauncherMatches(TFORM_MAIN& form);

} // namespace protection
