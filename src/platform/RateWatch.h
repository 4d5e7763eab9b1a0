// Whether a transfer still makes real progress. A server that trickles a byte now and then
// never lets a single read time out, yet the file would take days: a transfer that stays
// below the minimum rate over a whole window has stalled and fails like any other.
#pragma once

#include <cstdint>

namespace platform {

// Below 1 KB/s averaged over a minute, as curl's speed limit counts it.
constexpr std::uint64_t kMinBytesPerSecond = 1024;
constexpr std::uint64_t kRateWindowMs = 60000;

class RateWatch {
public:
    RateWatch(std::uint64_t startMs, std::uint64_t minBytesPerSecond = kMinBytesPerSecond,
              std::uint64_t windowMs = kRateWindowMs)
        : minBytesPerSecond_(minBytesPerSecond), windowMs_(windowMs), windowStartMs_(startMs) {}

    // The bytes received so far and the time now. False once a whole window has passed
    // below the minimum rate; it stays false.
    bool Progress(std::uint64_t totalBytes, std::uint64_t nowMs) {
        if (stalled_ || nowMs < windowStartMs_ || nowMs - windowStartMs_ < windowMs_) {
            return !stalled_;
        }
        const std::uint64_t elapsedMs = nowMs - windowStartMs_;
        const std::uint64_t bytes = totalBytes - windowStartBytes_;
        stalled_ = bytes * 1000 < minBytesPerSecond_ * elapsedMs;
        windowStartMs_ = nowMs;
        windowStartBytes_ = totalBytes;
        return !stalled_;
    }

private:
    std::uint64_t minBytesPerSecond_;
    std::uint64_t windowMs_;
    std::uint64_t windowStartMs_;
    std::uint64_t windowStartBytes_ = 0;
    bool stalled_ = false;
};

} // namespace platform
