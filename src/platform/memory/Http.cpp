// HTTP transfers of the in-memory machine. A transfer arrives in a message pump (those the
// test lets arrive, in the order it chooses) or when it is waited for, and writes the
// machine's files as the real one does: what arrived before a cut stays in the file.
#include "../Http.h"

#include "../RateWatch.h"
#include "Machine.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

namespace platform {

using memory::HttpResponse;
using memory::Op;
using memory::TheMachine;

struct Transfer::State {
    TransferRequest request;
    HeadRule rule;
    bool failed = false; // the start's fault point failed: nobody answers
    bool ended = false;
    std::shared_ptr<TransferLine::State> line; // the line it waits in or holds a turn of
    bool waiting = false;
    TransferReport report;
};

// Those holding a turn, in the order they took it, and those waiting for one.
struct TransferLine::State {
    int atOnce = 1;
    std::vector<std::weak_ptr<Transfer::State>> holding;
    std::deque<std::weak_ptr<Transfer::State>> waiting;
};

TransferLine::TransferLine(int atOnce) : state_(std::make_shared<State>()) {
    state_->atOnce = atOnce < 1 ? 1 : atOnce;
}

TransferLine::~TransferLine() = default;

namespace {

using State = Transfer::State;

// Sent: the server is asked, and the answer arrives in a pump or when waited for.
void Send(const std::shared_ptr<State>& state);

// The answer after at most kMaxRedirects redirects, as the real transfer follows them; none
// when nobody answers, and the redirect itself when there are too many.
HttpResponse* FinalAnswer(std::string url, bool& tooMany) {
    auto& m = TheMachine();
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        auto it = m.world.http.find(url.substr(0, url.find('?')));
        if (it == m.world.http.end() || it->second.refused) {
            return nullptr;
        }
        HttpResponse& r = it->second;
        if (r.status < 300 || r.status >= 400 || r.redirectTo.empty()) {
            return &r;
        }
        url = r.redirectTo;
    }
    tooMany = true;
    return nullptr;
}

// "bytes FIRST-LAST/TOTAL", as the real transfer reads it.
std::optional<ContentRange> ReadRange(const std::string& text) {
    unsigned long long first = 0;
    unsigned long long last = 0;
    unsigned long long total = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "bytes %llu-%llu/%llu%c", &first, &last, &total, &end) != 3 ||
        first > last || last >= total) {
        return std::nullopt;
    }
    return ContentRange{first, last, total};
}

// What the server sends for the request: the head, and the bytes of the body it holds.
ResponseHead Head(const HttpResponse& r, const TransferRequest& request, std::string& body) {
    ResponseHead head;
    head.status = r.status;
    head.contentEncoding = r.contentEncoding;
    head.etag = r.etag;
    head.lastModified = r.lastModified;
    head.transferEncoded = r.transferEncoded || !r.lengthSent;
    body = r.body;
    std::uint64_t length = r.announcedLength.value_or(r.body.size());
    const bool validatorHolds =
        request.ifRange.empty() || request.ifRange == r.etag || request.ifRange == r.lastModified;
    if (r.status == 200 && request.from > 0 && r.ranges && validatorHolds &&
        request.from < r.body.size()) {
        head.status = 206;
        const std::string range = r.contentRange.value_or("bytes " + std::to_string(request.from) +
                                                          "-" + std::to_string(r.body.size() - 1) +
                                                          "/" + std::to_string(r.body.size()));
        head.range = ReadRange(range);
        head.rangeUnreadable = !head.range;
        body = r.body.substr(request.from);
        length = body.size();
    }
    if (r.lengthSent) {
        head.length = length;
    }
    return head;
}

bool Writable(const std::string& path) {
    auto& m = TheMachine();
    auto parsed = memory::ParsePath(path);
    if (!parsed || m.world.tree.Parent(*parsed) == nullptr) {
        return false;
    }
    memory::Node* existing = m.world.tree.Find(*parsed);
    return existing == nullptr || m.Writable(*existing);
}

// The body's bytes into the file as the plan says; the end it comes to.
TransferEnd WriteBody(State& state, const BodyPlan& plan, const std::string& arrived,
                      bool complete) {
    auto& m = TheMachine();
    const std::string& path = state.request.path;
    const std::optional<std::string> existing = m.FileContent(path);
    const bool append = plan.use == BodyPlan::Use::Append;
    if (!Writable(path) || (append && (!existing || existing->size() < plan.appendAt))) {
        return TransferEnd::FileFailed;
    }
    const std::string kept = append ? existing->substr(0, plan.appendAt) : std::string();
    const std::size_t taken = std::min<std::size_t>(arrived.size(), plan.length);
    m.WriteFile(path, kept + arrived.substr(0, taken));
    state.report.bytes = taken;
    if (arrived.size() > plan.length) {
        return TransferEnd::Overrun;
    }
    return complete && taken == plan.length ? TransferEnd::Complete : TransferEnd::Cut;
}

TransferEnd Deliver(State& state) {
    auto& m = TheMachine();
    bool tooMany = false;
    HttpResponse* r = state.failed ? nullptr : FinalAnswer(state.request.url, tooMany);
    if (r == nullptr) {
        return tooMany ? TransferEnd::Redirects : TransferEnd::NoAnswer;
    }
    // The head's time passes on the machine's clock.
    m.world.tickMs += std::min<std::uint64_t>(r->headerMs, kRateWindowMs);
    if (r->headerMs >= kRateWindowMs) {
        return TransferEnd::Stalled;
    }
    if (r->headerBytes > kMaxHeaderBytes) {
        return TransferEnd::HeadersTooLarge;
    }
    std::string body;
    state.report.head = Head(*r, state.request, body);
    const BodyPlan plan = state.rule(state.report.head);
    if (plan.use == BodyPlan::Use::Refuse) {
        return TransferEnd::Refused;
    }
    // A body fault loses the connection half-way.
    const bool lost = m.Enter(Op::ReceiveBody, state.request.url);
    if (m.process.dead) {
        return TransferEnd::Cancelled;
    }
    const std::size_t cut = lost ? body.size() / 2 : std::min(r->cutAfter, body.size());
    r->bytesSent += cut;
    const TransferEnd end = WriteBody(state, plan, body.substr(0, cut), cut == body.size());
    if (end == TransferEnd::Complete && state.request.digest) {
        state.report.digest = Sha256Of(*m.FileContent(state.request.path));
        if (!state.report.digest) {
            return TransferEnd::FileFailed;
        }
    }
    return end;
}

// Its turn given back: the first of those waiting that was not cancelled is sent on it.
void GiveBackTurn(State& state) {
    if (!state.line || state.waiting) {
        return;
    }
    auto& holding = state.line->holding;
    holding.erase(std::remove_if(holding.begin(), holding.end(),
                                 [&](const std::weak_ptr<State>& held) {
                                     auto locked = held.lock();
                                     return !locked || locked.get() == &state;
                                 }),
                  holding.end());
    auto& waiting = state.line->waiting;
    while (!waiting.empty()) {
        std::shared_ptr<State> next = waiting.front().lock();
        waiting.pop_front();
        if (next && !next->ended) {
            next->waiting = false;
            holding.push_back(next);
            Send(next);
            return;
        }
    }
}

void MarkEnded(State& state, TransferEnd end) {
    state.report.end = end;
    state.ended = true;
    GiveBackTurn(state);
}

void Finish(State& state) {
    // One waiting in its line arrives after those holding the turns before it.
    while (!state.ended && state.waiting && !state.line->holding.empty()) {
        if (auto first = state.line->holding.front().lock()) {
            Finish(*first);
        } else {
            state.line->holding.erase(state.line->holding.begin());
        }
    }
    if (!state.ended) {
        MarkEnded(state, Deliver(state));
    }
}

void Send(const std::shared_ptr<State>& state) {
    auto& m = TheMachine();
    m.world.requests.push_back(state->request.url);
    std::weak_ptr<State> weak = state;
    m.process.transfers.push_back({state->request.url,
                                   [weak] {
                                       if (auto alive = weak.lock()) {
                                           Finish(*alive);
                                       }
                                   },
                                   [weak] {
                                       auto alive = weak.lock();
                                       return !alive || alive->ended;
                                   }});
}

} // namespace

Transfer::Transfer(TransferRequest request, HeadRule rule, Turn turn)
    : state_(std::make_shared<State>()) {
    auto& m = TheMachine();
    state_->request = std::move(request);
    state_->rule = std::move(rule);
    state_->failed = m.Enter(Op::StartTransfer, state_->request.url);
    if (turn.line != nullptr) {
        state_->line = turn.line->Shared();
        auto& line = *state_->line;
        if (static_cast<int>(line.holding.size()) >= line.atOnce) {
            state_->waiting = true;
            if (turn.place == Turn::Place::First) {
                line.waiting.push_front(state_);
            } else {
                line.waiting.push_back(state_);
            }
            return;
        }
        line.holding.push_back(state_);
    }
    Send(state_);
}

Transfer::~Transfer() {
    Cancel();
}

bool Transfer::Ended() {
    return state_->ended;
}

const TransferReport& Transfer::Wait() {
    Finish(*state_);
    return state_->report;
}

// Transfers arrive in pumps or when waited for: one waited for arrives at once.
bool Transfer::WaitFor(unsigned) {
    Finish(*state_);
    return true;
}

void Transfer::Cancel() {
    if (!state_->ended) {
        MarkEnded(*state_, TransferEnd::Cancelled);
    }
}

} // namespace platform

namespace platform::memory {

void DeliverTransfers() {
    auto& m = TheMachine();
    std::vector<PendingTransfer> pending;
    pending.swap(m.process.transfers);
    std::vector<std::size_t> order;
    if (m.process.arrivals) {
        std::vector<std::string> urls;
        for (const auto& t : pending) {
            urls.push_back(t.url);
        }
        order = m.process.arrivals(urls);
    } else {
        for (std::size_t i = 0; i < pending.size(); ++i) {
            order.push_back(i);
        }
    }
    std::vector<bool> delivered(pending.size(), false);
    for (std::size_t i : order) {
        if (i < pending.size() && !delivered[i]) {
            delivered[i] = true;
            pending[i].deliver();
        }
    }
    // Those that did not arrive stay under way, before any started meanwhile.
    std::vector<PendingTransfer> left;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (!delivered[i]) {
            left.push_back(std::move(pending[i]));
        }
    }
    left.insert(left.end(), m.process.transfers.begin(), m.process.transfers.end());
    m.process.transfers.swap(left);
}

} // namespace platform::memory
