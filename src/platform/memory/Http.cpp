// HTTP answers of the in-memory machine, written into its files as the real download does.
#include "../Http.h"

#include "Machine.h"

namespace platform {

using memory::HttpResponse;
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

// The answer after at most kMaxRedirects redirects, as the real download follows them; none
// when nobody answers.
const HttpResponse* FinalAnswer(std::string url) {
    auto& m = TheMachine();
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        auto it = m.http.find(url.substr(0, url.find('?')));
        if (it == m.http.end() || it->second.refused) {
            return nullptr;
        }
        const HttpResponse& r = it->second;
        if (r.status < 300 || r.status >= 400 || r.redirectTo.empty()) {
            return &r;
        }
        url = r.redirectTo;
    }
    return nullptr;
}

// A body the real download takes: a 200 announced by its length, not encoded, and whole.
bool Taken(const HttpResponse* r) {
    return r != nullptr && r->status == 200 && r->lengthSent &&
           (r->contentEncoding.empty() || r->contentEncoding == "identity") &&
           r->cutAfter >= r->body.size();
}

} // namespace

bool DownloadToFile(const std::string& url, const std::string& path, Sha256Digest* digest) {
    auto& m = TheMachine();
    m.requests.push_back(url);
    const HttpResponse* answer =
        m.Enter(memory::Op::DownloadToFile, url) ? nullptr : FinalAnswer(url);
    std::optional<Sha256Digest> hash;
    const bool done = Taken(answer) && WriteBody(path, answer->body) &&
                      (digest == nullptr || (hash = Sha256Of(answer->body)).has_value());
    if (!done) {
        RemovePartial(path);
    } else if (digest != nullptr) {
        *digest = *hash;
    }
    return done;
}

} // namespace platform
