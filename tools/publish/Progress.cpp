#include "Progress.h"

#include <cstdio>

namespace publish {

std::string Bytes(std::uint64_t bytes) {
    if (bytes < 1000) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    const char* units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000;
    std::size_t unit = 0;
    while (value >= 999.5 && unit + 1 < sizeof(units) / sizeof(units[0])) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof(text), value < 9.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

void TerminalProgress::Begin(std::size_t files, std::uint64_t bytes) {
    start_ = now_();
    files_ = files;
    bytes_ = bytes;
}

void TerminalProgress::Hashed(const std::string& path, std::uint64_t bytes) {
    if (path != path_) {
        done_ += current_;
        ++file_;
        path_ = path;
    }
    current_ = bytes;
    const auto now = now_();
    if (now - start_ < std::chrono::seconds(1) ||
        (showing_ && now - shown_ < std::chrono::milliseconds(100))) {
        return;
    }
    shown_ = now;
    showing_ = true;
    terminal_ << "\rhashing file " << file_ << " of " << files_ << ", " << Bytes(done_ + current_)
              << " of " << Bytes(bytes_) << "\x1b[K" << std::flush;
}

void TerminalProgress::End() {
    if (showing_) {
        terminal_ << "\r\x1b[K" << std::flush;
    }
}

} // namespace publish
