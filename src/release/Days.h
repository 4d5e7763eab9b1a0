// Calendar days as a release writes them, YYYY-MM-DD, counted in UTC so that every build and
// the tool agree on them.
#pragma once

#include <cstdint>
#include <string>

namespace release {

// The date of a count of days since 1970-01-01 (proleptic Gregorian calendar), and back.
std::string CivilDate(std::int64_t daysSinceEpoch);
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);

// The calendar date (UTC) of a time in seconds since 1970-01-01 UTC: the day the updater
// holds an expiry against, as the tool writes it.
std::string UtcDay(std::int64_t unixSeconds);

} // namespace release
