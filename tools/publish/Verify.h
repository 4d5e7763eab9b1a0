// The verify command: a release folder checked as the protected updater checks it.
#pragma once

#include "CommandLine.h"

#include <ostream>

namespace publish {

int Verify(const Options& o, std::ostream& out, std::ostream& err);

} // namespace publish
