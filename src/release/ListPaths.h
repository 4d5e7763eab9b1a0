// The list paths a release may hold: what the updater can install, what an operator can
// fetch by the name the list gives, and what the updater keeps for itself. The release
// tool applies exactly these rules; it has none of its own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace release {

// Longest list path the tool accepts: it must fit below a typical installation folder.
constexpr std::size_t kMaxListPath = 200;

// A folder or file name the updater never makes or installs: one that names no folder of its
// own ("." or "..", however padded, since Windows drops trailing dots and blanks), or that
// holds a separator or a character Windows refuses. An empty name names nothing and is
// not refused here; callers refuse it on their own.
bool RefusedLevelName(const std::string& name);

// Why a list path cannot be installed, or nothing when it can: the rules of the updater's
// folder and file names, the names Windows reserves for devices, the updater's own working
// files (UpdaterWorkingPath), and the length limit.
std::optional<std::string> RefusedListPath(const std::string& path);

// Why no operator could fetch the file by its path as the list writes it, or nothing. The
// updater sends the path unescaped but for blanks, which WinINet sends as "%20" and every
// server reads back as blanks. Bytes above 127 pass only with eightBitNames: the maker's
// server then names its files in the Windows code page, as the updater sends them.
std::optional<std::string> UnfetchableListPath(const std::string& path, bool eightBitNames);

// Every reason the paths of one release cannot be published, one message each, naming the
// path: RefusedListPath, UnfetchableListPath, two paths that differ only in letter case
// (one file on Windows), and a release without any file.
std::vector<std::string> RefusedReleasePaths(const std::vector<std::string>& paths,
                                             bool eightBitNames);

} // namespace release
