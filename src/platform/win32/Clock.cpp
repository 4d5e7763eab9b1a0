#include "../Clock.h"

#include <windows.h>

#include <ctime>
#include <vector>

namespace platform {

std::int64_t UnixTimeSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

LocalDateTime LocalNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalDateTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

namespace {

std::string LocaleText(LCTYPE type, const char* fallback) {
    int needed = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, nullptr, 0);
    if (needed <= 0) {
        return fallback;
    }
    std::vector<char> buffer(static_cast<std::size_t>(needed));
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer.data(), needed) <= 0) {
        return fallback;
    }
    return std::string(buffer.data());
}

} // namespace

RegionalFormats Regional() {
    RegionalFormats formats;
    formats.shortDate = LocaleText(LOCALE_SSHORTDATE, "M/d/yyyy");
    formats.timeSeparator = LocaleText(LOCALE_STIME, ":");
    formats.clock24 = LocaleText(LOCALE_ITIME, "0") == "1";
    formats.hourLeadingZero = LocaleText(LOCALE_ITLZERO, "0") == "1";
    formats.amDesignator = LocaleText(LOCALE_S1159, "AM");
    formats.pmDesignator = LocaleText(LOCALE_S2359, "PM");
    formats.designatorFirst = LocaleText(LOCALE_ITIMEMARKPOSN, "0") == "1";
    return formats;
}

} // namespace platform
