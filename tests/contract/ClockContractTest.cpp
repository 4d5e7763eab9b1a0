// Dates are written as the system writes them, and the run stamp's time is built from the
// parts of the regional time format, for several regional settings.
#include "contract/Fixture.h"
#include "platform/Clock.h"
#include "run/Run.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockContract, DatesAndTimesFollowTheRegionalSettings) {
    struct Case {
        const char* shortDate;
        const char* timeFormat;
        const char* am;
        const char* pm;
        platform::LocalDateTime when;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {"d/MM/yyyy", "h:mm:ss tt", "AM", "PM", {2026, 12, 7, 9, 41, 1}, "7/12/2026", "9:41:01 AM"},
        {"d/MM/yyyy", "h:mm:ss tt", "AM", "PM", {2026, 12, 7, 0, 5, 9}, "7/12/2026", "12:05:09 AM"},
        {"dd-MMM-yy", "h:mm:ss tt", "AM", "PM", {2026, 3, 4, 21, 5, 9}, "04-Mar-26", "9:05:09 PM"},
        {"dd.MM.yyyy", "HH:mm:ss", "AM", "PM", {2026, 3, 4, 7, 8, 9}, "04.03.2026", "07:08:09"},
        {"yyyy-MM-dd",
         "tt hh:mm:ss",
         "vorm.",
         "nachm.",
         {2026, 3, 4, 13, 8, 9},
         "2026-03-04",
         "nachm. 01:08:09"},
        {"M/d/yy", "H.mm.ss", "AM", "PM", {2026, 11, 30, 17, 8, 9}, "11/30/26", "17.08.09"},
        {"dddd d MMMM yyyy",
         "hh:mm:ss t",
         "AM",
         "PM",
         {2026, 12, 7, 9, 41, 1},
         "Monday 7 December 2026",
         "09:41:01 AM"},
        {"dd'de'MM", "h:mm:ss tt", "", "", {2026, 3, 4, 1, 2, 3}, "04de03", "1:02:03 "},
        // minutes and seconds are two digits, and there are seconds, whatever the format
        {"d/MM/yyyy", "H:m:s", "AM", "PM", {2026, 12, 7, 9, 5, 3}, "7/12/2026", "9:05:03"},
        {"d/MM/yyyy", "HH:mm", "AM", "PM", {2026, 12, 7, 9, 5, 3}, "7/12/2026", "09:05:03"},
    };
    for (const auto& c : cases) {
        fixture::SetRegionalFormats(c.shortDate, c.timeFormat, c.am, c.pm);
        EXPECT_EQ(platform::ShortDateText(c.when), c.date) << c.shortDate;
        const std::string picture = RunStampTimePicture(platform::RegionalTimeSettings());
        EXPECT_EQ(platform::TimeText(c.when, picture), c.time) << c.timeFormat;
    }
    fixture::SetRegionalFormats("M/d/yyyy", "h:mm:ss tt", "AM", "PM");
}

} // namespace
