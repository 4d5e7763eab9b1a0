#include "../Clock.h"

#include <windows.h>

#include <ctime>

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

SYSTEMTIME SystemTimeOf(const LocalDateTime& when) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(when.year);
    st.wMonth = static_cast<WORD>(when.month);
    st.wDay = static_cast<WORD>(when.day);
    st.wHour = static_cast<WORD>(when.hour);
    st.wMinute = static_cast<WORD>(when.minute);
    st.wSecond = static_cast<WORD>(when.second);
    return st;
}

// The text a call of the GetDateFormatA kind writes: asked for its length first, so that a
// long month name or era is never cut. `call(buffer, size)` gives what the call gives.
template <typename Call> std::string Written(Call call) {
    int needed = call(nullptr, 0);
    if (needed <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(needed), '\0');
    int written = call(&text[0], needed);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return text;
}

std::string LocaleText(LCTYPE type) {
    return Written([type](char* buffer, int size) {
        return GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, size);
    });
}

} // namespace

std::string ShortDateText(const LocalDateTime& when) {
    const SYSTEMTIME st = SystemTimeOf(when);
    return Written([&st](char* buffer, int size) {
        return GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, size);
    });
}

TimeSettings RegionalTimeSettings() {
    TimeSettings settings;
    settings.hourLeadingZero = LocaleText(LOCALE_ITLZERO) == "1";
    settings.separator = LocaleText(LOCALE_STIME);
    settings.twelveHour = LocaleText(LOCALE_ITIME) == "0";
    settings.designatorFirst = LocaleText(LOCALE_ITIMEMARKPOSN) == "1";
    settings.am = LocaleText(LOCALE_S1159);
    settings.pm = LocaleText(LOCALE_S2359);
    return settings;
}

std::string TimeText(const LocalDateTime& when, const std::string& picture) {
    const SYSTEMTIME st = SystemTimeOf(when);
    return Written([&st, &picture](char* buffer, int size) {
        return GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, picture.c_str(), buffer, size);
    });
}

} // namespace platform
