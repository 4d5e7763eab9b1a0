// The release number and the expiry of a signed publish. Numbers only go up: the updater
// takes a list only with a number above the one in place (or the same list again), so a
// number is never given to two different lists.
#pragma once

#include "Result.h"

#include <cstdint>
#include <optional>
#include <string>

namespace publish {

// The number of --release N.
Result<std::uint32_t> GivenRelease(const std::string& text);

// With a previous list, the number continues from its signature file (the list's name and
// ".sig"); when that number is unknown, --release N is needed. The signature file about to
// be replaced counts too, when its number is higher. --release N at or below a known
// number is refused. Without any number known the first release is 1.
Result<std::uint32_t> NextRelease(const std::optional<std::string>& previousList,
                                  const std::string& outputSignature,
                                  const std::optional<std::uint32_t>& wanted);

// The expiry date of --expires DAYS (days from today) or --expires YYYY-MM-DD (today or
// later); a failure for anything else.
Result<std::string> ExpiryDate(const std::string& given, const std::string& today);

} // namespace publish
