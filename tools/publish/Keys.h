// The maker's key: made once, read from a file or from standard input.
#pragma once

#include "CommandLine.h"
#include "Result.h"
#include "platform/Crypto.h"

#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace publish {

// The key pair of a key file; "-" reads it from in. A failure when the file cannot be read
// or is no key file.
Result<platform::P256KeyPair> LoadKey(const std::string& file, std::istream& in);

int Keygen(const Options& o, std::ostream& out, std::ostream& err);
int PrintPublicKey(const Options& o, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace publish
