// The maker's key: made once, read from a file or from standard input.
#pragma once

#include "CommandLine.h"
#include "platform/Crypto.h"

#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace publish {

// The key pair of a key file; "-" reads it from in. Nothing, with the reason, when the file
// cannot be read or is no key file.
std::optional<platform::P256KeyPair> LoadKey(const std::string& file, std::istream& in,
                                             std::string& problem);

int Keygen(const Options& o, std::ostream& out, std::ostream& err);
int PrintPublicKey(const Options& o, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace publish
