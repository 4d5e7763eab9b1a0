#include "Dates.h"

#include "release/Days.h"

#include <sys/stat.h>

#include <ctime>

namespace publish {

std::string DateOf(const std::string& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        return "1970-01-01";
    }
    return release::UtcDay(static_cast<std::int64_t>(info.st_mtime));
}

std::string Today() {
    return release::UtcDay(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string DaysAfter(const std::string& day, long long days) {
    return release::CivilDate(release::DaysFromCivil(std::stoll(day.substr(0, 4)),
                                                     std::stoll(day.substr(5, 2)),
                                                     std::stoll(day.substr(8, 2))) +
                              days);
}

} // namespace publish
