#include "Plan.h"

#include <algorithm>
#include <map>
#include <optional>

namespace publish {

namespace {

// Why no operator could fetch the file by its name as the list writes it, if so.
std::optional<std::string> UnfetchableName(const std::string& path, bool eightBitNames) {
    for (unsigned char c : path) {
        if (c == '%') {
            return std::string("a '%', which the server reads as the start of an escape");
        }
        if (c == '#') {
            return std::string("a '#', which ends the address before the name does");
        }
        if (c > 127 && !eightBitNames) {
            return std::string("a byte above 127, which the updater sends in the Windows code "
                               "page; give --8bit-names if the server names its files so");
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<std::string> RefusedNames(const std::vector<std::string>& paths, bool eightBitNames) {
    std::vector<std::string> problems;
    if (paths.empty()) {
        problems.push_back("the release is empty: there is no file to publish");
    }
    std::map<std::string, std::string> byUpper;
    for (const auto& path : paths) {
        if (auto why = release::RefusedListPath(path)) {
            problems.push_back("\"" + path + "\": " + *why);
        } else if (auto unfetchable = UnfetchableName(path, eightBitNames)) {
            problems.push_back("\"" + path + "\": " + *unfetchable +
                               ": no operator could fetch it");
        }
        auto [it, fresh] = byUpper.emplace(release::AsciiUpper(path), path);
        if (!fresh) {
            problems.push_back("\"" + path + "\" and \"" + it->second +
                               "\" differ only in letter case: on Windows they are one file");
        }
    }
    return problems;
}

Plan MakePlan(const std::vector<release::ListEntry>& previous, std::vector<FoundFile> files) {
    std::sort(files.begin(), files.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    std::map<std::string, const FoundFile*> byPath;
    for (const auto& f : files) {
        byPath.emplace(f.path, &f);
    }
    Plan plan;
    std::map<std::string, bool> listed;
    for (std::size_t old = 0; old < previous.size(); ++old) {
        const auto& entry = previous[old];
        auto it = byPath.find(entry.path);
        if (it == byPath.end() || listed.count(entry.path) != 0) {
            plan.removed.push_back(entry.path);
            continue;
        }
        listed[entry.path] = true;
        const FoundFile& file = *it->second;
        auto digest = release::StampDigest(entry.stamp);
        std::string stamp = entry.stamp;
        if (!digest || *digest != file.digest) {
            stamp = release::MakeStamp(file.date, file.digest);
            ++plan.changed;
        }
        if (plan.entries.size() != old) {
            ++plan.shifted;
        }
        plan.entries.push_back({entry.path, stamp});
    }
    for (const auto& f : files) {
        if (listed.count(f.path) == 0) {
            plan.entries.push_back({f.path, release::MakeStamp(f.date, f.digest)});
            ++plan.added;
        }
    }
    return plan;
}

} // namespace publish
