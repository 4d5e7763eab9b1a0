#include "Dates.h"

#include <sys/stat.h>

#include <ctime>

namespace publish {

namespace {

// The civil date of a count of days since 1970-01-01 (proleptic Gregorian calendar), and
// back (H. Hinnant's algorithms).
std::string CivilDate(long long days) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shifted = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    auto padded = [](long long value, std::size_t width) {
        std::string digits = std::to_string(value);
        return std::string(digits.size() < width ? width - digits.size() : 0, '0') + digits;
    };
    return padded(year, 4) + "-" + padded(month, 2) + "-" + padded(day, 2);
}

long long DaysFromCivil(long long year, long long month, long long day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::string DayOfSeconds(long long seconds) {
    return CivilDate((seconds >= 0 ? seconds : seconds - 86399) / 86400);
}

} // namespace

std::string DateOf(const std::string& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        return "1970-01-01";
    }
    return DayOfSeconds(static_cast<long long>(info.st_mtime));
}

std::string Today() {
    return DayOfSeconds(static_cast<long long>(std::time(nullptr)));
}

std::string DaysAfter(const std::string& day, long long days) {
    return CivilDate(DaysFromCivil(std::stoll(day.substr(0, 4)), std::stoll(day.substr(5, 2)),
                                   std::stoll(day.substr(8, 2))) +
                     days);
}

} // namespace publish
