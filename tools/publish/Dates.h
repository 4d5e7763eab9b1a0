// Calendar days as the release writes them, YYYY-MM-DD, in UTC so that both builds agree.
#pragma once

#include <optional>
#include <string>

namespace publish {

// The day of the file's last change.
std::string DateOf(const std::string& file);
// Today, by the system's clock.
std::string Today();
// The day a number of days after a day (both YYYY-MM-DD).
std::string DaysAfter(const std::string& day, long long days);

} // namespace publish
