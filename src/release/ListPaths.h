// The list paths a release may hold: what the updater can install (its own rules, in
// Applicable.h, and the stricter ones of a release), and what an operator can fetch by the
// name the list gives. The release tool applies exactly these rules; it has none of its own.
#pragma once

#include "CodePage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace release {

// Longest list path the tool accepts, in characters: it must fit below a typical
// installation folder.
constexpr std::size_t kMaxListPath = 200;

// Why a list path cannot be installed, or nothing when it can: the rules of the updater's
// folder and file names, the names Windows reserves for devices, the updater's own working
// files (UpdaterWorkingPath), and the length limit, every name read by character. A lead
// byte without a second byte of its code page is refused too: it is no character, and
// Windows would name the file otherwise (or take the "/" after it as its second byte).
std::optional<std::string> RefusedListPath(const std::string& path,
                                           const CodePage& page = WesternCodePage());

// What a refusal of the path adds for the maker: the code page its bytes above 127 were read
// in (and, for the default, that --code-page reads them in another); empty for an ASCII path.
std::string CodePageRead(const std::string& path, const CodePage& page);

// Why no operator could fetch the file by its path as the list writes it, or nothing. The
// updater sends the path unescaped but for blanks, which WinINet sends as "%20" and every
// server reads back as blanks. Bytes above 127 pass only with eightBitNames: the maker's
// server then names its files in the Windows code page, as the updater sends them.
std::optional<std::string> UnfetchableListPath(const std::string& path, bool eightBitNames,
                                               const CodePage& page = WesternCodePage());

// Every reason the paths of one release cannot be published, one message each, naming the
// path: RefusedListPath, UnfetchableListPath, two paths that name one file on Windows (as
// the updater compares them: SameFileKey), and a release without any file.
std::vector<std::string> RefusedReleasePaths(const std::vector<std::string>& paths,
                                             bool eightBitNames,
                                             const CodePage& page = WesternCodePage());

} // namespace release
