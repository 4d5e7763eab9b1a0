// The minimum rate of a transfer.
#include "platform/RateWatch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using platform::RateWatch;

struct Reading {
    std::uint64_t bytes;
    std::uint64_t ms;
    bool going; // what Progress must answer
};

struct RateCase {
    const char* name;
    std::vector<Reading> readings;
};

// Every second, bytesPerSecond more, for the given seconds; all expected to keep going.
std::vector<Reading> Steady(std::uint64_t bytesPerSecond, int seconds) {
    std::vector<Reading> out;
    for (int s = 1; s <= seconds; ++s) {
        out.push_back({bytesPerSecond * static_cast<std::uint64_t>(s),
                       1000 * static_cast<std::uint64_t>(s), true});
    }
    return out;
}

TEST(RateWatch, JudgesEachWholeWindowAgainstTheMinimumRate) {
    const std::uint64_t rate = platform::kMinBytesPerSecond;
    const std::uint64_t window = platform::kRateWindowMs;
    const RateCase cases[] = {
        {"a byte every 10 s stops when the first window ends",
         {{1, 10000, true},
          {2, 20000, true},
          {3, 30000, true},
          {4, 40000, true},
          {5, 50000, true},
          {6, 60000, false}}},
        {"a slow real link of 1 MB a minute keeps going", Steady(1048576 / 60, 180)},
        {"exactly the minimum rate keeps going",
         {{rate * window / 1000, window, true}, {2 * rate * window / 1000, 2 * window, true}}},
        {"one byte short of it over a window stops", {{rate * window / 1000 - 1, window, false}}},
        {"nothing is judged before the window ends", {{0, window - 1, true}}},
        {"a fast start does not carry a later stall",
         {{1 << 20, 1000, true},
          {1 << 20, window + 1000, true},
          {1 << 20, 2 * window + 1000, false}}},
        {"once stopped it stays stopped",
         {{0, window, false}, {1 << 30, window + 1, false}, {1u << 31, 3 * window, false}}},
        {"a late reading judges the time since the window began",
         {{rate * window / 1000, 2 * window, false}}},
    };
    for (const auto& c : cases) {
        RateWatch watch(0, rate, window);
        for (std::size_t i = 0; i < c.readings.size(); ++i) {
            const Reading& r = c.readings[i];
            EXPECT_EQ(watch.Progress(r.bytes, r.ms), r.going) << c.name << ", reading " << i;
        }
    }
}

TEST(RateWatch, CountsFromItsStartTime) {
    RateWatch watch(5000000, 1024, 60000);
    EXPECT_TRUE(watch.Progress(10, 5000000 + 59999));
    EXPECT_FALSE(watch.Progress(10, 5000000 + 60000));
}

} // namespace
