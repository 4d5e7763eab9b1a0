// What a publish writes, worked out before anything is written: the order of the entries,
// their stamps, and what operators will fetch.
#pragma once

#include "platform/Crypto.h"
#include "release/ReleaseFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace publish {

struct FoundFile {
    std::string path; // relative to the release folder, "/"-separated
    std::string date; // YYYY-MM-DD of its last change
    std::uint64_t size = 0;
    platform::Sha256Digest digest{};
    bool privateKey = false; // the file is a key file of keygen
    bool history = false;    // the file is a release history of this tool
};

struct Shift {
    std::string path;
    std::size_t from = 0; // 1-based entry numbers, in the previous list and in the new one
    std::size_t to = 0;
};

struct Plan {
    std::vector<release::ListEntry> entries;
    std::vector<std::string> added;   // new files, appended
    std::vector<std::string> changed; // kept entries with a new stamp
    std::vector<std::string> removed; // entries of the previous list whose file is gone
    std::vector<Shift> shifted;       // kept entries that now stand at another position
    // Entries whose stamp differs from the previous list's entry at the same position:
    // what an operator whose local list is the previous one fetches.
    std::size_t fetched = 0;
    std::uint64_t fetchedBytes = 0; // the sizes of those files
    std::uint64_t bytes = 0;        // of every listed file
};

// Entries keep the order of the previous list, and an unchanged file keeps its stamp byte
// for byte when that stamp states the file's hash and size; new files follow in byte order
// of their paths.
Plan MakePlan(const std::vector<release::ListEntry>& previous, std::vector<FoundFile> files);

} // namespace publish
