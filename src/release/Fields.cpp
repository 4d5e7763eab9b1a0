#include "Fields.h"

#include <limits>

namespace release {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::optional<std::string> Field(const std::string& line, const std::string& name) {
    if (line.compare(0, name.size() + 1, name + " ") != 0) {
        return std::nullopt;
    }
    return line.substr(name.size() + 1);
}

std::optional<std::uint64_t> ParseDecimal(const std::string& text) {
    if (text.empty() || text.size() > 19 || (text[0] == '0' && text.size() > 1)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    return value;
}

} // namespace release
