// The release folder on disk: which of its entries a release lists, and each listed file's
// date, size, hash and whether it is a private key.
#pragma once

#include "Plan.h"
#include "Progress.h"
#include "Result.h"
#include "release/CodePage.h"

#include <optional>
#include <string>
#include <vector>

namespace publish {

struct WalkRules {
    std::vector<std::string> excludes; // --exclude patterns (Glob.h)
    std::vector<std::string> outputs;  // the tool's own files, as paths from the folder
    release::CodePage page = release::WesternCodePage(); // how names are read for excludes
};

struct Skipped {
    std::string path;
    std::string why;
};

struct ReleaseFiles {
    std::vector<std::string> paths;   // files, and links to files inside the release
    std::vector<Skipped> skipped;     // names beginning with ".", and what --exclude names
    std::vector<std::string> refused; // one message each, naming the entry
};

// Every entry below the folder. Names beginning with "." (files and folders, at any depth)
// and what an exclude pattern matches are skipped. A symbolic link that leads to a file or
// folder inside the release stands for it under the link's own name; one that leads outside
// the release, nowhere, or to a folder that holds it is refused, as is a folder that cannot
// be listed and anything that is neither file nor folder.
ReleaseFiles WalkRelease(const std::string& folder, const WalkRules& rules);

// Reads the file whole: date, size and hash, and whether it is a private key file. A file
// whose size or modification time is not the same after the read as before it was being
// written meanwhile: its hash may be of no content it ever had, so it is refused. Each piece
// read is told to progress, when given.
Result<FoundFile> Examine(const std::string& folder, const std::string& path,
                          HashProgress* progress = nullptr);

} // namespace publish
