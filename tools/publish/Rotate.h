// The rotate command: the next key statement of a release folder, handing release signing
// to a new key.
#pragma once

#include "CommandLine.h"

#include <istream>
#include <ostream>

namespace publish {

int Rotate(const Options& o, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace publish
