// The release number and the expiry of a signed publish. Numbers only go up: the updater
// takes a list only with a number above the one in place (or the same list again), so a
// number is never given to two different lists.
#pragma once

#include "Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace publish {

// The number of --release N.
Result<std::uint32_t> GivenRelease(const std::string& text);

// A release number known to the tool, and where it was read ("\"FILE\"", or the history).
struct KnownNumber {
    std::uint32_t number = 0;
    std::string source;
};

struct KnownNumbers {
    std::vector<KnownNumber> known; // of signature files and of the release history
    // Why the previous list's number is not known, when it is not: the next number then
    // needs --release N, unless the release history knows a number.
    std::optional<std::string> unknownPrevious;
    bool historyKnows = false;
};

// The number of a signature file.
Result<std::uint32_t> SignatureNumber(const std::string& sigFile);

// The next number follows the highest known; --release N at or below it is refused. Without
// any number known the first release is 1.
Result<std::uint32_t> NextRelease(const KnownNumbers& numbers,
                                  const std::optional<std::uint32_t>& wanted);

// The expiry date of --expires DAYS (days from today) or --expires YYYY-MM-DD (today or
// later); a failure for anything else.
Result<std::string> ExpiryDate(const std::string& given, const std::string& today);

} // namespace publish
