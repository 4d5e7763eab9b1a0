// Putting a new list and its signature in place together.
#pragma once

#include "Result.h"

#include <optional>
#include <string>
#include <vector>

namespace publish {

// The names the tool writes in an output folder: the list, its signature, and the
// temporary and kept names used while both are put in place.
struct OutputNames {
    explicit OutputNames(const std::string& folder);
    std::string folder;
    std::string list;
    std::string signature;
    std::string listTemp;
    std::string signatureTemp;
    std::string listKept;
};
// Those names without the folder, for leaving them out of a release whose folder holds them.
std::vector<std::string> OutputFileNames();

// Both files end in place, or the folder is left as it was: each is written under a
// temporary name and flushed, then renamed into place, the list first; when the signature
// cannot follow, the previous list is put back. Without a signature only the list is
// written.
Status CommitRelease(const OutputNames& names, const std::string& list,
                     const std::optional<std::string>& signature);

} // namespace publish
