// HTTP answers of the in-memory machine, written into its files as the real download does.
#include "../Http.h"

#include "../RateWatch.h"
#include "Machine.h"

#include <algorithm>

namespace platform {

using memory::HttpResponse;
using memory::TheMachine;

namespace {

bool WriteBody(const std::string& path, const std::string& body) {
    auto& m = TheMachine();
    auto parsed = memory::ParsePath(path);
    if (!parsed || m.world.tree.Parent(*parsed) == nullptr) {
        return false;
    }
    memory::Node* existing = m.world.tree.Find(*parsed);
    if (existing != nullptr && !m.Writable(*existing)) {
        return false;
    }
    m.WriteFile(path, body);
    return true;
}

void RemovePartial(const std::string& path) {
    auto& m = TheMachine();
    auto parsed = memory::ParsePath(path);
    memory::Node* node = parsed ? m.world.tree.Find(*parsed) : nullptr;
    if (node != nullptr && !node->IsFolder() && !m.InUse(*node)) {
        m.world.tree.Parent(*parsed)->Remove(parsed->levels.back());
    }
}

// The answer after at most kMaxRedirects redirects, as the real download follows them; none
// when nobody answers.
const HttpResponse* FinalAnswer(std::string url) {
    auto& m = TheMachine();
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        auto it = m.world.http.find(url.substr(0, url.find('?')));
        if (it == m.world.http.end() || it->second.refused) {
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

// Headers the real download waits for: within the minimum rate's window and its size bound.
// Their time passes on the machine's clock.
bool HeadersArrive(const HttpResponse& r) {
    auto& m = TheMachine();
    m.world.tickMs += std::min<std::uint64_t>(r.headerMs, kRateWindowMs);
    return r.headerMs < kRateWindowMs && r.headerBytes <= kMaxHeaderBytes;
}

// A length the caller and the drive can take: refused before a byte is written.
bool LengthAccepted(std::uint64_t length, const DownloadBounds& bounds, const std::string& path) {
    if (length > bounds.maxLength || (bounds.exactLength && length != *bounds.exactLength)) {
        return false;
    }
    auto parsed = memory::ParsePath(path);
    memory::Drive* drive = parsed ? TheMachine().world.tree.FindDrive(parsed->drive) : nullptr;
    if (drive == nullptr || !drive->capacity) {
        return true;
    }
    const std::uint64_t used = drive->UsedBytes();
    const std::uint64_t free = *drive->capacity > used ? *drive->capacity - used : 0;
    return free > kFreeSpaceMargin && length <= free - kFreeSpaceMargin;
}

// A body the real download takes: a 200 announced by its length (within bounds), not
// encoded, and arrived whole and no more.
bool Taken(const HttpResponse* r, const DownloadBounds& bounds, const std::string& path) {
    if (r == nullptr || r->status != 200 || !HeadersArrive(*r) || !r->lengthSent ||
        !(r->contentEncoding.empty() || r->contentEncoding == "identity")) {
        return false;
    }
    const std::uint64_t length = r->announcedLength.value_or(r->body.size());
    const std::uint64_t arrives = std::min<std::uint64_t>(r->cutAfter, r->body.size());
    return LengthAccepted(length, bounds, path) && arrives == length;
}

} // namespace

bool DownloadToFile(const std::string& url, const std::string& path, Sha256Digest* digest,
                    const DownloadBounds& bounds) {
    auto& m = TheMachine();
    m.world.requests.push_back(url);
    const HttpResponse* answer =
        m.Enter(memory::Op::DownloadToFile, url) ? nullptr : FinalAnswer(url);
    std::optional<Sha256Digest> hash;
    const bool done = Taken(answer, bounds, path) && WriteBody(path, answer->body) &&
                      (digest == nullptr || (hash = Sha256Of(answer->body)).has_value());
    if (!done) {
        RemovePartial(path);
    } else if (digest != nullptr) {
        *digest = *hash;
    }
    return done;
}

} // namespace platform
