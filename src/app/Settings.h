// Build-time settings. Each configuration (the product, the tests, the end-to-end builds) has
// one generated source file of them, chosen at link time, so the logic is compiled once.
#pragma once

namespace settings {

// Host (and port) of the update server.
extern const char* const kUpdateHost;
// File name of the product's executable; the initial text of ExeName.
extern const char* const kExeName;
// Lowest accepted product version and the version above the highest, dotted.
extern const char* const kMinVersion;
extern const char* const kMaxVersion;
// Upper-case text an installation folder's name holds.
extern const char* const kFolderFilter;
// The maker's public keys in a protected build, 128 hex digits each, separated by commas:
// the first signs releases, each may sign the first key statement. Empty otherwise.
extern const char* const kReleaseKey;
// Transfers a run keeps under way at once: the file it waits for and those of rows ahead.
// 1 fetches one file after another, each at its row's turn.
extern const int kTransfers;

} // namespace settings
