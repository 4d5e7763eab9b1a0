// HTTP answers of the in-memory machine, written into its files as the real download does.
#include "../Http.h"

#include "../RateWatch.h"
#include "Machine.h"

#include <algorithm>

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
    if (existing != nullptr && !m.Writable(*existing)) {
        return false;
    }
    m.WriteFile(path, body);
    return true;
}

void RemovePartial(const std::string& path) {
    auto& m = TheMachine();
    auto parsed = memory::ParsePath(path);
    memory::Node* node = parsed ? m.tree.Find(*parsed) : nullptr;
    if (node != nullptr && !node->IsFolder() && !m.InUse(*node)) {
        m.tree.Parent(*parsed)->Remove(parsed->levels.back());
    }
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The body as the real download takes it: announced, not encoded, whole, and at no less
// than the minimum rate, measured on the machine's clock.
bool BodyArrives(const memory::HttpResponse& r) {
    if (!r.lengthSent || !(r.contentEncoding.empty() || r.contentEncoding == "identity") ||
        r.cutAfter < r.body.size()) {
        return false;
    }
    if (r.chunkEveryMs == 0 || r.chunkBytes == 0) {
        return true;
    }
    auto& m = TheMachine();
    RateWatch rate(m.tickMs);
    std::size_t arrived = 0;
    while (arrived < r.body.size()) {
        arrived += std::min(r.chunkBytes, r.body.size() - arrived);
        m.tickMs += r.chunkEveryMs;
        if (!rate.Progress(arrived, m.tickMs)) {
            return false;
        }
    }
    return true;
}

// The answer whose body was written to path, or none (and no file) when the download fails.
const memory::HttpResponse* Fetch(const std::string& url, const std::string& path) {
    auto& m = TheMachine();
    m.requests.push_back(url);
    bool fail = m.Enter(memory::Op::DownloadToFile, url);
    std::string current = url;
    // The first request and up to kMaxRedirects more, as the real download.
    for (int hop = 0; !fail && hop <= kMaxRedirects; ++hop) {
        if (!StartsWith(current, "http://") && !StartsWith(current, "https://")) {
            break;
        }
        std::string key = current.substr(0, current.find('?'));
        auto it = m.http.find(key);
        if (it == m.http.end()) {
            break; // nobody answers
        }
        const memory::HttpResponse& r = it->second;
        if (r.refused || (StartsWith(current, "https://") && r.untrustedCertificate)) {
            break;
        }
        if (r.status >= 300 && r.status < 400 && !r.redirectTo.empty()) {
            if (StartsWith(current, "https://") && !StartsWith(r.redirectTo, "https://")) {
                break;
            }
            current = r.redirectTo;
            continue;
        }
        if (r.status != 200 || !BodyArrives(r)) {
            break;
        }
        if (WriteBody(path, r.body)) {
            return &r;
        }
        break;
    }
    RemovePartial(path);
    return nullptr;
}

} // namespace

bool DownloadToFile(const std::string& url, const std::string& path, Sha256Digest* digest) {
    const memory::HttpResponse* answer = Fetch(url, path);
    if (answer == nullptr) {
        return false;
    }
    if (digest != nullptr) {
        std::optional<Sha256Digest> body = Sha256Of(answer->body);
        if (!body) {
            RemovePartial(path);
            return false;
        }
        *digest = *body;
    }
    return true;
}

} // namespace platform
