// The protected updater's small files: the signature file and the key statements, fetched
// within a bound, and the copies it keeps beside the local list, replaced in one step.
#pragma once

#include <cstdint>
#include <string>

class TFORM_MAIN;

namespace protection {

enum class SmallFetch { Fetched, Missing, Unreadable };

// Fetches base URL + remoteName (at most bound bytes) into bytes, through a transient file
// in the updater's own folder that it never leaves behind.
SmallFetch FetchSmallFile(TFORM_MAIN& form, const std::string& remoteName, std::uint64_t bound,
                          std::string& bytes);

// Replaces folder + name with bytes in one step: written and flushed beside it first, then
// renamed over it, so that a failure or a kill at any moment leaves the old file or the new
// one, never none. False when it could not be replaced.
bool KeepWrittenThrough(const std::string& folder, const std::string& name,
                        const std::string& bytes);

} // namespace protection
