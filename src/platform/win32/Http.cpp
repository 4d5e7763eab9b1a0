// HTTP transfers through WinINet, each on a thread of its own while it runs (threads are
// reused) with a session of its own.
// Neither WinINet nor WinHTTP under Wine ends a call blocked on a receive when its handle is
// closed (measured: a stalled body, endless headers), so a transfer is never waited for
// past its bounds: its owner stops waiting, closes its handles and its file, and the thread
// ends whenever the call it sits in returns, touching nothing but its own state.
#include "../Http.h"

#include "../RateWatch.h"
#include "Handles.h"

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr DWORD kBufferSize = 256 * 1024;
// Sessions kept for later transfers, so that their connections are reused.
constexpr std::size_t kKeptSessions = 16;
// A body left unread that is no larger than this is read to its end when its request closes
// (Wine does so, keeping the connection); a larger or unknown one is never closed.
constexpr std::uint64_t kSmallBody = 64 * 1024;

void CloseNetwork(std::pair<HINTERNET, HINTERNET> handles) {
    if (handles.first != nullptr) {
        InternetCloseHandle(handles.first);
    }
    if (handles.second != nullptr) {
        InternetCloseHandle(handles.second);
    }
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds) {
    InternetSetOptionA(handle, option, &milliseconds, sizeof(milliseconds));
}

// The system's words for the last error of a failed call.
std::string ErrorText(const char* call) {
    return std::string(call) + " failed with error " + std::to_string(GetLastError());
}

// Sessions whose last transfer ended cleanly, so their connection may be reused. A session
// whose transfer was cut or cancelled is closed instead: its connection is in no state to
// serve another.
class SessionPool {
public:
    HINTERNET Take() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!kept_.empty()) {
                HINTERNET session = kept_.back();
                kept_.pop_back();
                return session;
            }
        }
        HINTERNET session =
            InternetOpenA("Quorvel", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (session != nullptr) {
            SetTimeout(session, INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
            SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
            SetTimeout(session, INTERNET_OPTION_SEND_TIMEOUT, kReceiveTimeoutMs);
            SetTimeout(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
        }
        return session;
    }
    void Give(HINTERNET session, bool reusable) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (reusable && kept_.size() < kKeptSessions) {
                kept_.push_back(session);
                return;
            }
        }
        InternetCloseHandle(session);
    }

private:
    std::mutex mutex_;
    std::vector<HINTERNET> kept_;
};

// Shared by every transfer thread, each of which holds it while it runs: it outlives the
// program's static objects for a thread still sitting in a call.
std::shared_ptr<SessionPool> Pool() {
    static std::shared_ptr<SessionPool> pool = std::make_shared<SessionPool>();
    return pool;
}

// The threads transfers run on. One that has run its transfer waits a while for the next
// instead of ending: under Wine a new thread costs about 2 ms, each loaded library being
// told of it. A thread still sitting in a call of a transfer its owner gave up on is never
// idle, so no transfer ever waits behind it: when no thread is idle, a new one starts.
class TransferThreads : public std::enable_shared_from_this<TransferThreads> {
public:
    void Run(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (idle_ > jobs_.size()) {
                jobs_.push_back(std::move(job));
                waiting_.notify_one();
                return;
            }
        }
        std::thread([self = shared_from_this(), job = std::move(job)]() mutable {
            self->Serve(std::move(job));
        }).detach();
    }

private:
    static constexpr std::size_t kMostIdle = 16;
    static constexpr std::chrono::seconds kIdleFor{10};

    void Serve(std::function<void()> job) {
        while (true) {
            job();
            job = nullptr;
            std::unique_lock<std::mutex> lock(mutex_);
            if (idle_ >= kMostIdle) {
                return;
            }
            ++idle_;
            const bool given = waiting_.wait_for(lock, kIdleFor, [this] { return !jobs_.empty(); });
            --idle_;
            if (!given) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
    }

    std::mutex mutex_;
    std::condition_variable waiting_;
    std::deque<std::function<void()>> jobs_;
    std::size_t idle_ = 0;
};

std::shared_ptr<TransferThreads> Threads() {
    static std::shared_ptr<TransferThreads> threads = std::make_shared<TransferThreads>();
    return threads;
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsHttps(const std::string& url) {
    const char scheme[] = "https://";
    for (std::size_t i = 0; i + 1 < sizeof(scheme); ++i) {
        if (i >= url.size() || (url[i] | 0x20) != scheme[i]) {
            return false;
        }
    }
    return true;
}

// A header's text, or nothing when the answer has none.
std::optional<std::string> Header(HINTERNET request, DWORD query) {
    std::vector<char> text(1024);
    DWORD size = static_cast<DWORD>(text.size() - 1);
    if (!HttpQueryInfoA(request, query, text.data(), &size, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > (1u << 16)) {
            return std::nullopt;
        }
        text.resize(size + 1);
        if (!HttpQueryInfoA(request, query, text.data(), &size, nullptr)) {
            return std::nullopt;
        }
    }
    return std::string(text.data(), size);
}

// A decimal number of the whole text, nothing otherwise.
std::optional<std::uint64_t> Decimal(const std::string& text) {
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// "bytes FIRST-LAST/TOTAL".
std::optional<ContentRange> ParseContentRange(const std::string& text) {
    const std::string unit = "bytes ";
    const auto dash = text.find('-');
    const auto slash = text.find('/');
    if (text.compare(0, unit.size(), unit) != 0 || dash == std::string::npos ||
        slash == std::string::npos || dash > slash) {
        return std::nullopt;
    }
    auto first = Decimal(text.substr(unit.size(), dash - unit.size()));
    auto last = Decimal(text.substr(dash + 1, slash - dash - 1));
    auto total = Decimal(text.substr(slash + 1));
    if (!first || !last || !total || *first > *last || *last >= *total) {
        return std::nullopt;
    }
    return ContentRange{*first, *last, *total};
}

ResponseHead ReadHead(HINTERNET request) {
    ResponseHead head;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr)) {
        head.status = static_cast<int>(status);
    }
    if (auto length = Header(request, HTTP_QUERY_CONTENT_LENGTH)) {
        head.length = Decimal(*length);
    }
    head.transferEncoded = Header(request, HTTP_QUERY_TRANSFER_ENCODING).has_value();
    head.contentEncoding = Header(request, HTTP_QUERY_CONTENT_ENCODING).value_or("");
    if (auto range = Header(request, HTTP_QUERY_CONTENT_RANGE)) {
        head.range = ParseContentRange(*range);
        head.rangeUnreadable = !head.range;
    }
    head.etag = Header(request, HTTP_QUERY_ETAG).value_or("");
    head.lastModified = Header(request, HTTP_QUERY_LAST_MODIFIED).value_or("");
    return head;
}

// The absolute URL a redirect points to, or empty.
std::string RedirectTarget(HINTERNET request, const std::string& from) {
    auto location = Header(request, HTTP_QUERY_LOCATION);
    if (!location) {
        return std::string();
    }
    std::vector<char> combined(8192);
    DWORD length = static_cast<DWORD>(combined.size());
    if (!InternetCombineUrlA(from.c_str(), location->c_str(), combined.data(), &length,
                             ICU_NO_ENCODE)) {
        return std::string();
    }
    return std::string(combined.data(), length);
}

} // namespace

// The turns of a line: how many are taken, and the starts of those waiting for one. A start
// only hands its transfer to a thread, so it may run under any transfer's lock.
struct TransferLine::State {
    explicit State(int most) : atOnce(most) {}

    // Takes a turn and starts, or waits in line for one.
    void Enter(std::function<void()> start, Turn::Place place) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (taken >= atOnce) {
                if (place == Turn::Place::First) {
                    waiting.push_front(std::move(start));
                } else {
                    waiting.push_back(std::move(start));
                }
                return;
            }
            ++taken;
        }
        start();
    }
    // A turn given back: the first waiting starts on it.
    void Leave() {
        std::function<void()> next;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (waiting.empty()) {
                --taken;
                return;
            }
            next = std::move(waiting.front());
            waiting.pop_front();
        }
        next();
    }

    std::mutex mutex;
    const int atOnce;
    int taken = 0;
    std::deque<std::function<void()>> waiting;
};

TransferLine::TransferLine(int atOnce) : state_(std::make_shared<State>(atOnce < 1 ? 1 : atOnce)) {}

TransferLine::~TransferLine() = default;

// What the transfer's thread and its owner share. The handles in it are closed by whichever
// of them gets there first, under the lock; the file is written only under the lock and
// only while the transfer is not cancelled.
struct Transfer::State {
    TransferRequest request;
    HeadRule rule;
    ULONGLONG startMs = 0; // set when it is sent
    std::weak_ptr<TransferLine::State> line;

    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;   // sent, or being sent: not waiting in its line
    bool holdsTurn = false; // holds a turn of its line, given back when it ends
    bool ended = false;
    bool headIn = false; // the final answer's head arrived (the window no longer applies)
    TransferReport report;
    HINTERNET connection = nullptr;
    HINTERNET handle = nullptr; // the request under way
    bool inCall = false;        // the thread sits in a call on the request
    HANDLE file = INVALID_HANDLE_VALUE;

    // Under the lock: the request and its connection, for the caller to close once the lock
    // is let go. Closing a request whose body was not read whole reads the rest first under
    // Wine, so nobody waits for that while holding the lock.
    std::pair<HINTERNET, HINTERNET> TakeNetworkHandles() {
        return {std::exchange(handle, nullptr), std::exchange(connection, nullptr)};
    }
    // Under the lock: the first end told is the one that stands. The file is closed at once.
    // Told by the owner while the thread sits in a call, the request is closed too (which
    // ends the call on Windows; under Wine the call keeps the request until it returns, so
    // the close does not wait); otherwise the thread closes it on its way out.
    void End(TransferEnd end, std::string reason, bool byOwner = false) {
        if (ended) {
            return;
        }
        ended = true;
        report.end = end;
        report.reason = std::move(reason);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
        if (byOwner && inCall) {
            auto [request, connected] = TakeNetworkHandles();
            InternetCloseHandle(request);
            InternetCloseHandle(connected);
        }
        changed.notify_all();
        if (std::exchange(holdsTurn, false)) {
            if (auto turns = line.lock()) {
                turns->Leave();
            }
        }
    }
    // Under the lock: whether its head is overdue (the window counts from its start).
    bool HeadOverdue(ULONGLONG now) const {
        return started && !headIn && now >= startMs + kRateWindowMs;
    }
    bool Cancelled() {
        std::lock_guard<std::mutex> lock(mutex);
        return ended;
    }
};

namespace {

using State = Transfer::State;

// One request sent and its head read; false (the transfer ended) when not.
bool Send(State& state, HINTERNET session, const std::string& url) {
    char host[256] = {};
    char path[4096] = {};
    char extra[4096] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof(extra);
    std::unique_lock<std::mutex> lock(state.mutex);
    if (state.ended) {
        return false;
    }
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        state.End(TransferEnd::NoAnswer, "not an http or https URL: " + url);
        return false;
    }
    {
        // The previous hop's request goes without the lock held.
        auto previous = state.TakeNetworkHandles();
        lock.unlock();
        CloseNetwork(previous);
        lock.lock();
        if (state.ended) {
            return false;
        }
    }
    state.connection =
        InternetConnectA(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    // No flag that ignores a certificate error: a server that cannot prove who it is
    // serves nothing. Redirects are followed here, a limited number of times.
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
    const DWORD flags = secure | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_KEEP_CONNECTION |
                        INTERNET_FLAG_NO_AUTO_REDIRECT;
    const std::string target = std::string(path) + extra;
    state.handle = state.connection == nullptr
                       ? nullptr
                       : HttpOpenRequestA(state.connection, "GET", target.c_str(), nullptr, nullptr,
                                          nullptr, flags, 0);
    if (state.handle == nullptr) {
        state.End(TransferEnd::NoAnswer, ErrorText("HttpOpenRequestA"));
        return false;
    }
    // On the request itself: Wine keeps no session-wide receive time-out for the wait on
    // the answer.
    SetTimeout(state.handle, INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    SetTimeout(state.handle, INTERNET_OPTION_SEND_TIMEOUT, kReceiveTimeoutMs);
    SetTimeout(state.handle, INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
    std::string headers;
    if (state.request.from > 0) {
        headers = "Range: bytes=" + std::to_string(state.request.from) + "-\r\n";
        if (!state.request.ifRange.empty()) {
            headers += "If-Range: " + state.request.ifRange + "\r\n";
        }
    }
    HINTERNET request = state.handle;
    state.inCall = true;
    lock.unlock();
    // The one call that may sit for long: the owner may close the handle meanwhile.
    const BOOL sent = HttpSendRequestA(request, headers.empty() ? nullptr : headers.c_str(),
                                       static_cast<DWORD>(headers.size()), nullptr, 0);
    const std::string why = sent ? std::string() : ErrorText("HttpSendRequestA");
    lock.lock();
    state.inCall = false;
    if (state.ended) {
        return false;
    }
    if (!sent) {
        state.End(TransferEnd::NoAnswer, why);
        return false;
    }
    DWORD size = 0;
    HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
    if (size > kMaxHeaderBytes) {
        state.End(TransferEnd::HeadersTooLarge, std::to_string(size) + " bytes of headers");
        return false;
    }
    return true;
}

// The final answer's head, after at most kMaxRedirects redirects, never from https back to
// http; false (the transfer ended) when there is none.
bool FinalHead(State& state, HINTERNET session) {
    std::string url = state.request.url;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!Send(state, session, url)) {
            return false;
        }
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.ended) {
            return false;
        }
        ResponseHead head = ReadHead(state.handle);
        if (!IsRedirect(static_cast<DWORD>(head.status))) {
            state.report.head = head;
            state.headIn = true;
            return true;
        }
        std::string next = RedirectTarget(state.handle, url);
        if (next.empty() || (IsHttps(url) && !IsHttps(next))) {
            break;
        }
        url = next;
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    state.End(TransferEnd::Redirects, "redirects refused after " + url);
    return false;
}

// The file opened for the plan: replaced, or cut back to the bytes the body continues.
bool OpenFile(State& state, const BodyPlan& plan) {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.ended) {
        return false;
    }
    const bool append = plan.use == BodyPlan::Use::Append;
    state.file =
        CreateFileA(state.request.path.c_str(), GENERIC_WRITE, 0, nullptr,
                    append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(plan.appendAt);
    if (state.file == INVALID_HANDLE_VALUE ||
        (append &&
         (!SetFilePointerEx(state.file, at, nullptr, FILE_BEGIN) || !SetEndOfFile(state.file)))) {
        state.End(TransferEnd::FileFailed, ErrorText("CreateFileA"));
        return false;
    }
    return true;
}

// The body into the file: exactly the plan's length, at no less than the minimum rate.
// WinINet under Wine ends a cut chunked stream with success, so only the length counts.
bool CopyBody(State& state, const BodyPlan& plan) {
    std::vector<char> buffer(kBufferSize);
    std::uint64_t total = 0;
    RateWatch rate(state.startMs);
    while (true) {
        HINTERNET request = nullptr;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            if (state.ended) {
                return false;
            }
            request = state.handle;
            state.inCall = true;
        }
        // Wine's InternetReadFile waits until the buffer is full or the body ends, however
        // slowly the bytes come; asked for what has arrived, each read returns as it comes,
        // so the rate is seen.
        DWORD available = 0;
        DWORD got = 0;
        const BOOL read =
            InternetQueryDataAvailable(request, &available, 0, 0) &&
            (available == 0 ||
             InternetReadFile(request, buffer.data(),
                              available < kBufferSize ? available : kBufferSize, &got));
        const std::string why = read ? std::string() : ErrorText("InternetReadFile");
        std::lock_guard<std::mutex> lock(state.mutex);
        state.inCall = false;
        if (state.ended) {
            return false;
        }
        if (!read) {
            state.End(TransferEnd::Cut, why);
            return false;
        }
        if (got == 0) {
            break;
        }
        // Not a byte beyond the length reaches the file.
        if (total + got > plan.length) {
            state.End(TransferEnd::Overrun, "more than " + std::to_string(plan.length) + " bytes");
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(state.file, buffer.data(), got, &written, nullptr) || written != got) {
            state.End(TransferEnd::FileFailed, ErrorText("WriteFile"));
            return false;
        }
        total += got;
        state.report.bytes = total;
        if (!rate.Progress(total, GetTickCount64())) {
            state.End(TransferEnd::Stalled, "below the minimum rate");
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    if (total != plan.length) {
        state.End(TransferEnd::Cut,
                  std::to_string(total) + " of " + std::to_string(plan.length) + " bytes");
        return false;
    }
    // Reported as done only once it is on the disk.
    if (!FlushFileBuffers(state.file)) {
        state.End(TransferEnd::FileFailed, ErrorText("FlushFileBuffers"));
        return false;
    }
    CloseHandle(state.file);
    state.file = INVALID_HANDLE_VALUE;
    return true;
}

// The SHA-256 of the whole file, read back on the transfer's own thread: the hash is off the
// path that waits for the network, and covers a part from an earlier attempt as well.
std::optional<Sha256Digest> WholeFileDigest(State& state) {
    FileHandle file(CreateFileA(state.request.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        return std::nullopt;
    }
    Sha256 hash;
    std::vector<char> buffer(kBufferSize);
    DWORD got = 0;
    while (ReadFile(file.get(), buffer.data(), kBufferSize, &got, nullptr) && got > 0) {
        if (state.Cancelled()) {
            return std::nullopt;
        }
        hash.Update(buffer.data(), got);
    }
    return hash.Finish();
}

// Handles of answers whose bodies were left unread and may be long: closing them would
// read the rest under Wine (a server announcing a petabyte would be read for ever), so they
// are parked until the program ends and the system closes their connections. Deliberately
// never closed: a close at exit would read the rest as well.
void Park(HINTERNET session, std::pair<HINTERNET, HINTERNET> handles) {
    static std::mutex mutex;
    static std::vector<HINTERNET> parked; // its end closes nothing
    std::lock_guard<std::mutex> lock(mutex);
    parked.insert(parked.end(), {session, handles.first, handles.second});
}

// Whether the answer's body may still hold more than a small one's bytes unread.
bool LongRestUnread(const State& state) {
    const TransferReport& report = state.report;
    if (report.end == TransferEnd::Complete || report.head.status == 0) {
        return false;
    }
    return !report.head.length ||
           *report.head.length - std::min(*report.head.length, report.bytes) > kSmallBody;
}

void Run(State& state, SessionPool& pool) {
    HINTERNET session = pool.Take();
    if (session == nullptr) {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.End(TransferEnd::NoAnswer, ErrorText("InternetOpenA"));
        return;
    }
    bool clean = false;
    if (FinalHead(state, session)) {
        BodyPlan plan = state.rule(state.report.head);
        if (plan.use == BodyPlan::Use::Refuse) {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.End(TransferEnd::Refused, "refused by its rule");
        } else if (OpenFile(state, plan) && CopyBody(state, plan)) {
            std::optional<Sha256Digest> digest;
            if (state.request.digest) {
                digest = WholeFileDigest(state);
            }
            std::lock_guard<std::mutex> lock(state.mutex);
            if (state.request.digest && !digest) {
                state.End(TransferEnd::FileFailed, "the file could not be read back");
            } else {
                state.report.digest = digest;
                state.End(TransferEnd::Complete, std::string());
                clean = true;
            }
        }
    }
    std::pair<HINTERNET, HINTERNET> handles;
    bool park = false;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        handles = state.TakeNetworkHandles();
        park = handles.first != nullptr && LongRestUnread(state);
    }
    if (park) {
        Park(session, handles);
        return;
    }
    CloseNetwork(handles);
    pool.Give(session, clean);
}

} // namespace

namespace {

// On the transfer's own thread, from its turn: its clocks start now. One cancelled while it
// waited is never sent, and passes its turn on.
void Begin(const std::shared_ptr<State>& state, bool lined, SessionPool& pool) {
    bool cancelled = false;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        cancelled = state->ended;
        if (!cancelled) {
            state->started = true;
            state->holdsTurn = lined;
            state->startMs = GetTickCount64();
        }
    }
    if (!cancelled) {
        Run(*state, pool);
    } else if (auto turns = state->line.lock(); turns && lined) {
        turns->Leave();
    }
}

} // namespace

Transfer::Transfer(TransferRequest request, HeadRule rule, Turn turn)
    : state_(std::make_shared<State>()) {
    state_->request = std::move(request);
    state_->rule = std::move(rule);
    const bool lined = turn.line != nullptr;
    auto start = [state = state_, lined] {
        Threads()->Run([state, lined, pool = Pool()] { Begin(state, lined, *pool); });
    };
    if (!lined) {
        start();
        return;
    }
    state_->line = turn.line->Shared();
    turn.line->Shared()->Enter(std::move(start), turn.place);
}

Transfer::~Transfer() {
    Cancel();
}

bool Transfer::Ended() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->ended && state_->HeadOverdue(GetTickCount64())) {
        state_->End(TransferEnd::Stalled, "no status line and headers within the window", true);
    }
    return state_->ended;
}

namespace {

// Until the transfer has ended, or until the given tick: whether it has ended. A transfer
// without its head past the head's window ends here, as its thread may sit in a call.
bool WaitUntil(State& state, ULONGLONG until) {
    std::unique_lock<std::mutex> lock(state.mutex);
    while (!state.ended) {
        const ULONGLONG now = GetTickCount64();
        ULONGLONG wake = until;
        if (state.HeadOverdue(now)) {
            state.End(TransferEnd::Stalled, "no status line and headers within the window", true);
            break;
        }
        if (state.started && !state.headIn) {
            wake = std::min(wake, state.startMs + kRateWindowMs);
        }
        if (now >= until) {
            return false;
        }
        if (wake == ~0ull) {
            state.changed.wait(lock);
        } else {
            state.changed.wait_for(lock, std::chrono::milliseconds(wake - now));
        }
    }
    return true;
}

} // namespace

const TransferReport& Transfer::Wait() {
    WaitUntil(*state_, ~0ull);
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->report;
}

bool Transfer::WaitFor(unsigned milliseconds) {
    return WaitUntil(*state_, GetTickCount64() + milliseconds);
}

void Transfer::Cancel() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->End(TransferEnd::Cancelled, "cancelled", true);
}

} // namespace platform
