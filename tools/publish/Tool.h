// quorvel-publish, the maker's release tool: keygen, public, publish, verify, rotate
// and help. The
// exit code is 0 done (verify: the release is good), 1 refused or a bad release (said on
// err), 2 a wrong command line.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace publish {

int RunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err);

} // namespace publish
