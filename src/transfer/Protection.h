// The protected updater's checks, a link-time choice: a build with the maker's public key
// (QUORVEL_RELEASE_KEY) links Protected.cpp and installs and starts only what the maker
// signed; one without links Unprotected.cpp, where every check passes and nothing is hashed.
#pragma once

#include "../platform/Crypto.h"

#include <string>

class TFORM_MAIN;

namespace protection {

// Right after the list download, before the list is moved or read: fetches the signature
// beside it and checks list, signature and release number. A refusal is told, leaves neither
// download behind and gives false.
bool ListAccepted(TFORM_MAIN& form, const std::string& downloadedList);

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
