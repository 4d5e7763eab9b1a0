// The patterns of --exclude, matched against list paths.
#pragma once

#include <string>

namespace publish {

// "*" matches any run of characters but "/", "**" any run at all, "?" one character but
// "/"; everything else matches itself, in either letter case as Windows compares names
// ("*.pak" matches "Textures.PAK"), and "\" is a separator as "/" is. A pattern without a
// separator is matched against each file and folder name on its own (so "*.pdb" leaves
// out every .pdb at any depth); one with a separator against the whole path from the
// release folder.
bool Excluded(const std::string& pattern, const std::string& path);

} // namespace publish
