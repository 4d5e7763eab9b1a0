// The release tool's commands: keygen, publish and verify. Each gives the exit code:
// 0 done, 1 refused or not verified (said on err), 2 a wrong command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace publish {

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace publish
