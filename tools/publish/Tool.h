// quorvel-publish, the maker's release tool: keygen, public, publish, verify, rotate and help.
// The exit code is 0 done (verify: the release is good), then one for each kind of failure
// (Result.h: 1 refused or a bad release, 2 a wrong command line, 3 a damaged folder or
// history, 4 an input/output failure), said on err.
#pragma once

#include "Progress.h"

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace publish {

// The hashing of a publish is told to progress, when given.
int RunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, HashProgress* progress = nullptr);

} // namespace publish
