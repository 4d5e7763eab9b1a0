// The protected updater: a build made with the maker's public key (QUORVEL_RELEASE_KEY)
// installs and starts only what the maker signed. With no key built in, none of this runs.
#pragma once

#include "../platform/Crypto.h"
#include "QuorvelConfig.h"

#include <string>

class TFORM_MAIN;

namespace release {

constexpr const char kReleaseKey[] = QUORVEL_RELEASE_KEY;
constexpr bool kProtected = sizeof(kReleaseKey) > 1;
static_assert(sizeof(kReleaseKey) == 1 || sizeof(kReleaseKey) == 129,
              "QUORVEL_RELEASE_KEY is empty or 128 hex digits");

// The number of the release in place is kept in this copy of its signature file, beside the
// local list; the run never deletes it.
constexpr const char* kReleaseFileName = "PelmoraUpdaterRelease.sig";
// Where the signature file of a fresh list is fetched to, in the updater's own folder.
constexpr const char* kFetchedSignatureName = "PelmoraUpdaterList.sig";

// Right after the list download, before the list is moved or read: fetches the signature
// beside it and checks list, signature and release number. A refusal is told, leaves neither
// download behind and gives false.
bool ListAccepted(TFORM_MAIN& form, const std::string& downloadedList);

// Before a row's download: its stamp carries a content hash (told when not).
bool RowVerifiable(TFORM_MAIN& form, int row);
// After it: the digest of the fetched file's bytes is the one the row's stamp names (told,
// and the file removed, when not).
bool DownloadMatches(TFORM_MAIN& form, int row, const std::string& fetched,
                     const platform::Sha256Digest& digest);

// Manual mode, a file already at the row's target path: true when it is the signed one and
// is kept; otherwise it is removed, so that the fetched one takes its place.
bool PresentFileKept(TFORM_MAIN& form, int row, const std::string& targetPath);

// Right before the start: the launcher in the target folder is the one the signed list
// names (told when not). True when there is no launcher: nothing would start anyway.
bool LauncherMatches(TFORM_MAIN& form);

} // namespace release
