// The patterns of --exclude, matched against list paths.
#pragma once

#include "release/CodePage.h"

#include <string>

namespace publish {

// "*" matches any run of characters but "/", "**" any run at all, "?" one character but
// "/"; everything else matches itself, in either letter case as Windows compares names
// ("*.pak" matches "Textures.PAK"), and "\" is a separator as "/" is. Pattern and path are
// read by character in the code page (the "\" second byte of a double-byte character is no
// separator), and letters folded as the updater folds them for one file. A pattern without a
// separator is matched against each file and folder name on its own (so "*.pdb" leaves
// out every .pdb at any depth); one with a separator against the whole path from the
// release folder.
bool Excluded(const std::string& pattern, const std::string& path, const release::CodePage& page);

} // namespace publish
