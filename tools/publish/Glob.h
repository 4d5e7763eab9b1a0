// The patterns of --exclude, matched against list paths.
#pragma once

#include <string>

namespace publish {

// "*" matches any run of characters but "/", "**" any run at all, "?" one character but
// "/"; everything else matches itself, letter case included. A pattern without "/" is
// matched against each file and folder name on its own (so "*.pdb" leaves out every .pdb
// at any depth); one with "/" against the whole path from the release folder.
bool Excluded(const std::string& pattern, const std::string& path);

} // namespace publish
