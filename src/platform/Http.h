// HTTP transfers. Each transfer is an object of its own: started, then waited for or
// cancelled alone, without touching any other. The platform reports what happened (the
// answer's head, the bytes written, why it ended); what may be taken is the caller's rule,
// asked once the final answer's head is in and before a byte is written.
#pragma once

#include "Crypto.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Redirects followed for one transfer; one more is refused.
constexpr int kMaxRedirects = 10;
// The most an answer's status line and headers may take.
constexpr std::uint64_t kMaxHeaderBytes = 64 * 1024;

// A Content-Range of a 206 answer: bytes first to last of total.
struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
};

// The final answer's head, as it came (after the redirects).
struct ResponseHead {
    int status = 0;
    std::optional<std::uint64_t> length; // Content-Length
    bool transferEncoded = false;        // a Transfer-Encoding header came
    std::string contentEncoding;         // the Content-Encoding header, if any
    std::optional<ContentRange> range;   // a Content-Range that could be read
    bool rangeUnreadable = false;        // a Content-Range came that could not be read
    std::string etag;                    // the ETag header as sent, quotes and W/ kept
    std::string lastModified;            // the Last-Modified header as sent
};

// What the caller's rule makes of a head: refuse the body, or take exactly `length` bytes
// into the file, replacing it or appended to its first `appendAt` bytes.
struct BodyPlan {
    enum class Use { Refuse, Replace, Append } use = Use::Refuse;
    std::uint64_t length = 0;
    std::uint64_t appendAt = 0;
};
using HeadRule = std::function<BodyPlan(const ResponseHead&)>;

// One GET. With `from` above 0 it asks for the bytes from there on (Range), on condition that
// the file is still the one `ifRange` names (If-Range). With `digest`, the SHA-256 of the
// whole file is taken once the body is in, on the transfer's own time.
struct TransferRequest {
    std::string url;
    std::string path;
    std::uint64_t from = 0;
    std::string ifRange;
    bool digest = false;
};

enum class TransferEnd {
    Complete,        // the body the plan asked for arrived whole, no more, and is on the disk
    Refused,         // the rule refused the head; nothing was written
    NoAnswer,        // no connection, or no status line and headers
    Redirects,       // too many redirects, or one from https back to http
    HeadersTooLarge, // status line and headers above kMaxHeaderBytes
    Stalled,         // below the minimum rate over its window, or silent too long
    Cut,             // the body ended before its length
    Overrun,         // more bytes came than the length
    FileFailed,      // the file could not be written
    Cancelled,       // the caller cancelled it
};

struct TransferReport {
    TransferEnd end = TransferEnd::NoAnswer;
    ResponseHead head;                  // of the final answer, when one came
    std::uint64_t bytes = 0;            // body bytes written by this transfer
    std::optional<Sha256Digest> digest; // of the whole file, when asked and Complete
    std::string reason;                 // the system's own words, for a log or a test
};

// Transfers that share a line run at most `atOnce` of them together. One made while that many
// are under way waits, unsent, and starts the moment one of them ends, on the transfer's side
// (nobody has to come back to start it); they start in the order they were made, one made
// `First` before those waiting. Its windows and time-outs count from its start; cancelled
// while it waits, it is never sent.
class TransferLine {
public:
    explicit TransferLine(int atOnce);
    ~TransferLine();
    TransferLine(const TransferLine&) = delete;
    TransferLine& operator=(const TransferLine&) = delete;

    struct State;
    const std::shared_ptr<State>& Shared() const { return state_; }

private:
    std::shared_ptr<State> state_;
};

// Where a transfer takes its turn: no line (it starts at once), or a line, in turn or first.
struct Turn {
    TransferLine* line = nullptr;
    enum class Place { InTurn, First } place = Place::InTurn;
};

// A transfer under way from its construction (or from its turn in its line). The file is
// written only by the transfer, and left as the transfer leaves it: what arrived before a
// failure stays there, for the caller to keep or remove. Destroying a transfer that has not
// ended cancels it.
class Transfer {
public:
    Transfer(TransferRequest request, HeadRule rule, Turn turn = Turn());
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Whether it has ended, without waiting.
    bool Ended();
    // Waits until it has ended.
    const TransferReport& Wait();
    // Waits until it has ended or the time has passed; whether it has ended.
    bool WaitFor(unsigned milliseconds);
    // Ends it at once: no byte more reaches the file, and no other transfer is touched.
    void Cancel();

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace platform
