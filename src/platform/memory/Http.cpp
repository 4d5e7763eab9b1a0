// HTTP answers of the in-memory machine, written into its files as the real download does.
#include "../Http.h"

#include "Machine.h"

namespace platform {

using memory::TheMachine;

namespace {

bool WriteBody(const std::string& path, const std::string& body) {
    auto& m = TheMachine();
    auto parsed = memory::ParsePath(path);
    if (!parsed || m.tree.Parent(*parsed) == nullptr) {
        return false;
    }
    memory::Node* existing = m.tree.Find(*parsed);
    if (existing != nullptr && (existing->IsFolder() || existing->heldByOther ||
                                existing->openReaders > 0 || (existing->attributes & 1) != 0)) {
        return false;
    }
    m.WriteFile(path, body);
    return true;
}

void RemovePartial(const std::string& path) {
    auto& m = TheMachine();
    auto parsed = memory::ParsePath(path);
    memory::Node* node = parsed ? m.tree.Find(*parsed) : nullptr;
    if (node != nullptr && !node->IsFolder() && !node->heldByOther && node->openReaders == 0) {
        m.tree.Parent(*parsed)->children.erase(memory::UpperAscii(parsed->levels.back()));
    }
}

} // namespace

bool DownloadToFile(const std::string& url, const std::string& path) {
    auto& m = TheMachine();
    m.requests.push_back(url);
    bool fail = m.Enter("DownloadToFile", url);
    std::string current = url;
    for (int hop = 0; !fail && hop < 10; ++hop) {
        std::string key = current.substr(0, current.find('?'));
        auto it = m.http.find(key);
        if (it == m.http.end()) {
            break; // nobody answers
        }
        const memory::HttpResponse& r = it->second;
        if (r.refused) {
            break;
        }
        if (r.status >= 300 && r.status < 400 && !r.redirectTo.empty()) {
            current = r.redirectTo;
            continue;
        }
        if (r.status != 200 || r.cutAfter < r.body.size()) {
            break;
        }
        if (WriteBody(path, r.body)) {
            return true;
        }
        break;
    }
    RemovePartial(path);
    return false;
}

} // namespace platform
