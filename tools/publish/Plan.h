// What a publish writes, worked out before anything is written: the names refused, the
// order of the entries, and how many entries a removal shifts.
#pragma once

#include "platform/Crypto.h"
#include "release/ReleaseFormat.h"

#include <string>
#include <vector>

namespace publish {

struct FoundFile {
    std::string path; // relative to the release folder, "/"-separated
    std::string date; // YYYY-MM-DD of its last change
    platform::Sha256Digest digest{};
};

// One message a refused name, each naming the file: names the updater would refuse, names
// that cannot stand unescaped in a URL (the updater sends them as the list writes them),
// paths that differ only in letter case, and an empty release. Bytes above 127 pass only
// with eightBitNames: the maker's server then names its files in the Windows code page.
std::vector<std::string> RefusedNames(const std::vector<std::string>& paths,
                                      bool eightBitNames = false);

struct Plan {
    std::vector<release::ListEntry> entries;
    std::vector<std::string> removed; // entries of the previous list whose file is gone
    std::size_t shifted = 0;          // kept entries that now stand at another position
    std::size_t changed = 0;          // kept entries with a new stamp
    std::size_t added = 0;            // new files, appended
};

// Entries keep the order of the previous list and the stamp of an unchanged file byte for
// byte; new files follow in byte order of their paths.
Plan MakePlan(const std::vector<release::ListEntry>& previous, std::vector<FoundFile> files);

} // namespace publish
