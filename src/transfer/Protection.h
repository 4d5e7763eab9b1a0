// The protected updater's checks, a link-time choice: a build with the maker's public key
// (QUORVEL_RELEASE_KEY) links Protected.cpp and installs and starts only what the maker
// signed; one without links Unprotected.cpp, where every check passes and nothing is hashed.
#pragma once

#include "../platform/Crypto.h"
#include "../platform/Http.h"

#include <optional>
#include <string>

class TFORM_MAIN;

namespace protection {

// The release the server offers, as its signature file states it once that is accepted: the
// bounds the list is fetched within, and the signature file's bytes, kept once the list is.
struct OfferedRelease {
    platform::DownloadBounds listBounds;
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

// What a row's file may be when it is fetched: its listed size, when its stamp states one.
platform::DownloadBounds FileBounds(TFORM_MAIN& form, int row);

// Whether each fetched file's SHA-256 is taken as it arrives, for DownloadMatches.
bool HashesDownloads();

// Before a row's download: its stamp carries a content hash (told when not).
bool RowVerifiable(TFORM_MAIN& form, int row);
// After it: the digest of the fetched file's bytes is the one the row's stamp names (told,
// and the file removed, when not).
bool DownloadMatches(TFORM_MAIN& form, int row, const std::string& fetched,
                     const platform::Sha256Digest& digest);

// Manual mode, a file already at the row's target path: true when it is kept; otherwise it
// is removed, so that the fetched one takes its place. Protected, only the signed file is kept.
bool PresentFileKept(TFORM_MAIN& form, int row, const std::string& targetPath);

// Right before the start: the launcher in the target folder is the one the signed list
// names (told when not). True when there is no launcher: nothing would start anyway.
bool LauncherMatches(TFORM_MAIN& form);

} // namespace protection
