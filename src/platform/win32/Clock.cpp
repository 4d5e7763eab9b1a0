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

} // namespace

// Each call asks for the length first: a long month name or era must not be cut.
std::string ShortDateText(const LocalDateTime& when) {
    const SYSTEMTIME st = SystemTimeOf(when);
    int needed = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, nullptr, 0);
    if (needed <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(needed), '\0');
    int written =
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, &text[0], needed);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return text;
}

std::string TimeText(const LocalDateTime& when) {
    const SYSTEMTIME st = SystemTimeOf(when);
    int needed = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, nullptr, 0);
    if (needed <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(needed), '\0');
    int written = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, &text[0], needed);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return text;
}

} // namespace platform
