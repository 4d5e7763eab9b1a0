// The publish command: the list of a release folder and its signature, written together
// or not at all.
#pragma once

#include "CommandLine.h"
#include "Progress.h"

#include <istream>
#include <ostream>

namespace publish {

// Each file hashed is told to progress, when given.
int Publish(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
            HashProgress* progress = nullptr);

} // namespace publish
