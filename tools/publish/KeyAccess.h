// What the tool needs of the system to keep a private key file to its owner: POSIX mode
// bits on Linux, the file's access list on Windows. One implementation is linked in
// (KeyAccessPosix.cpp or KeyAccessWin32.cpp).
#pragma once

#include "Result.h"

#include <optional>
#include <string>

namespace publish {

// Leaves the file readable and writable by its owner only.
Status MakeOwnerOnly(const std::string& file);

// Who besides the file's owner may read it, in words ("mode 0644: its group and others",
// "Everyone"), or nothing when only the owner (and the system itself) may.
Result<std::optional<std::string>> OthersWhoMayRead(const std::string& file);

} // namespace publish
