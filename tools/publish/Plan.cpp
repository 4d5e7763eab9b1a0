#include "Plan.h"

#include <algorithm>
#include <map>
#include <set>

namespace publish {

namespace {

bool StampFits(const std::string& stamp, const FoundFile& file) {
    auto digest = release::StampDigest(stamp);
    auto size = release::StampSize(stamp);
    return digest && size && *digest == file.digest && *size == file.size;
}

} // namespace

Plan MakePlan(const std::vector<release::ListEntry>& previous, std::vector<FoundFile> files) {
    std::sort(files.begin(), files.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    std::map<std::string, const FoundFile*> byPath;
    for (const auto& f : files) {
        byPath.emplace(f.path, &f);
    }
    Plan plan;
    std::set<std::string> listed;
    for (std::size_t old = 0; old < previous.size(); ++old) {
        const auto& entry = previous[old];
        auto it = byPath.find(entry.path);
        if (it == byPath.end() || listed.count(entry.path) != 0) {
            plan.removed.push_back(entry.path);
            continue;
        }
        listed.insert(entry.path);
        const FoundFile& file = *it->second;
        std::string stamp = entry.stamp;
        if (!StampFits(stamp, file)) {
            stamp = release::MakeStamp(file.date, file.digest, file.size);
            plan.changed.push_back(entry.path);
        }
        if (plan.entries.size() != old) {
            plan.shifted.push_back({entry.path, old + 1, plan.entries.size() + 1});
        }
        plan.entries.push_back({entry.path, stamp});
    }
    for (const auto& f : files) {
        if (listed.count(f.path) == 0) {
            plan.entries.push_back({f.path, release::MakeStamp(f.date, f.digest, f.size)});
            plan.added.push_back(f.path);
        }
    }
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        const std::uint64_t size = byPath[plan.entries[i].path]->size;
        plan.bytes += size;
        if (i >= previous.size() || previous[i].stamp != plan.entries[i].stamp) {
            ++plan.fetched;
            plan.fetchedBytes += size;
        }
    }
    return plan;
}

} // namespace publish
