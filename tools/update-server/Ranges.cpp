#include "Ranges.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>

namespace update_server {

namespace {

std::string HttpDate(std::time_t seconds) {
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::strftime(text, sizeof(text), "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

// A decimal number that takes the whole text, or nothing.
std::optional<std::size_t> Offset(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::stoull(text));
}

// A date names the file as it is only when it cannot have changed again within the second
// it names; an entity tag names it by strong comparison (a weak tag never matches).
bool IfRangeHolds(const httplib::Request& req, const Validators& validators) {
    if (!req.has_header("If-Range")) {
        return true;
    }
    const std::string asked = req.get_header_value("If-Range");
    if (!asked.empty() && asked[0] == '"') {
        return asked == validators.etag;
    }
    return validators.dateIsStrong && asked == validators.lastModified;
}

} // namespace

Validators ValidatorsOf(const std::filesystem::path& file) {
    struct stat status {};
    Validators validators;
    if (stat(file.c_str(), &status) != 0) {
        return validators;
    }
    char tag[96];
    std::snprintf(tag, sizeof(tag), "\"%llx-%llx%09lx-%llx\"",
                  static_cast<unsigned long long>(status.st_size),
                  static_cast<unsigned long long>(status.st_mtim.tv_sec),
                  static_cast<unsigned long>(status.st_mtim.tv_nsec),
                  static_cast<unsigned long long>(status.st_ino));
    validators.etag = tag;
    validators.lastModified = HttpDate(status.st_mtim.tv_sec);
    const std::time_t now = std::time(nullptr);
    validators.dateIsStrong = status.st_mtim.tv_sec + 1 < now;
    return validators;
}

Part PartAsked(const httplib::Request& req, const Validators& validators, std::size_t size) {
    Part whole;
    const std::string range = req.get_header_value("Range");
    const std::string unit = "bytes=";
    if (range.compare(0, unit.size(), unit) != 0 || range.find(',') != range.npos ||
        !IfRangeHolds(req, validators)) {
        return whole;
    }
    const std::size_t dash = range.find('-', unit.size());
    if (dash == range.npos) {
        return whole;
    }
    const auto first = Offset(range.substr(unit.size(), dash - unit.size()));
    const std::string lastText = range.substr(dash + 1);
    const auto last = lastText.empty() ? first : Offset(lastText);
    if (!first || !last || *last < *first) {
        return whole; // a suffix range or a malformed one: the whole file is a valid answer
    }
    if (*first >= size) {
        return Part{Part::Kind::Unsatisfiable, 0, 0};
    }
    if (lastText.empty()) {
        return Part{Part::Kind::Range, *first, size - 1};
    }
    return Part{Part::Kind::Range, *first, std::min(*last, size - 1)};
}

} // namespace update_server
