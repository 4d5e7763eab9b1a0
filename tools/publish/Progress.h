// How far the hashing of a release has come, for a maker who waits on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace publish {

class HashProgress {
public:
    virtual ~HashProgress() = default;
    // Before the first file: how many files and bytes are to be hashed.
    virtual void Begin(std::size_t files, std::uint64_t bytes) = 0;
    // After each piece of a file: its path and how many of its bytes are hashed.
    virtual void Hashed(const std::string& path, std::uint64_t bytes) = 0;
    // After the last file.
    virtual void End() = 0;
};

// Says nothing for the first second, then keeps one line on the terminal up to date (at
// most ten times a second), and clears it at the end.
class TerminalProgress : public HashProgress {
public:
    using Clock = std::chrono::steady_clock;
    explicit TerminalProgress(std::ostream& terminal,
                              std::function<Clock::time_point()> now = Clock::now)
        : terminal_(terminal), now_(std::move(now)) {}
    void Begin(std::size_t files, std::uint64_t bytes) override;
    void Hashed(const std::string& path, std::uint64_t bytes) override;
    void End() override;

private:
    std::ostream& terminal_;
    std::function<Clock::time_point()> now_;
    Clock::time_point start_;
    Clock::time_point shown_;
    std::size_t files_ = 0;
    std::uint64_t bytes_ = 0;
    std::size_t file_ = 0;
    std::string path_;
    std::uint64_t done_ = 0;    // bytes of the files before the current one
    std::uint64_t current_ = 0; // bytes of the current file
    bool showing_ = false;
};

// A count of bytes as people read it: "912 bytes", "4.1 KB", "212 MB", "3.0 GB".
std::string Bytes(std::uint64_t bytes);

} // namespace publish
