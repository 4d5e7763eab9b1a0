// Faults the update server can be told to inject, per request path.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace update_server {

struct Fault {
    enum class Kind {
        Status,
        Cut,
        Stall,
        Drop,
        Redirect,
        Chunked,        // chunked, no length; with a number: cut after that many bytes
        ChunkedNoLast,  // chunked, every data chunk but not the last, empty one
        NoLength,       // no length, the connection closes; with a number: after that many bytes
        Encoding,       // the stored bytes, labelled with a Content-Encoding
        Trickle,        // with its length, one byte every number milliseconds
        Huge,           // announces number bytes and sends as fast as taken, at most cap
        HeaderTrickle,  // the status line and headers one byte every number milliseconds
        EndlessHeaders, // header lines without end, as fast as taken, at most cap bytes
        Delay,          // the answer as usual, number milliseconds after the request
        BadRange,       // a range asked is answered 206 with a Content-Range that does not fit
        FramedTwice,    // a Content-Length and chunked framing both, cut after the first chunk
    } kind = Kind::Status;
    long long number = 0; // status code, bytes before the cut (-1: none), seconds of the
                          // stall, milliseconds, the length announced
    enum class Misfit {
        Start, // the part sent starts one byte after the one asked
        Total, // the total named is one byte more than the file
    } misfit = Misfit::Start;
    long long cap = 0;    // bytes sent at most before the connection is closed
    std::string location; // the target of a redirect; the name of an encoding
};

// What an endless answer sends at most unless its line says otherwise: enough to be seen
// going on, never enough to fill a test machine's disk.
constexpr long long kDefaultCapBytes = 64LL << 20;

// A file of lines "PATH ACTION [ARGUMENTS]", PATH relative to the release folder (or "*" for
// every path), ACTION one of status N, cut N, stall S, drop, redirect URL, chunked [N],
// chunked-nolast, nolength [N], encoding NAME, trickle MS, huge LENGTH [CAP],
// header-trickle MS, endless-headers [CAP], delay MS, bad-range [start|total],
// framed-twice. Read again whenever
// it changes, so a test can rewrite it between requests. Blank lines and "#" lines are ignored.
class FaultTable {
public:
    explicit FaultTable(std::string file) : file_(std::move(file)) {}
    std::optional<Fault> For(const std::string& path);

private:
    void Reload();

    std::string file_;
    std::mutex mutex_;
    long long stamp_ = -1;
    std::map<std::string, Fault> faults_;
};

std::optional<Fault> ParseFault(const std::string& action, const std::string& argument,
                                const std::string& second = std::string());

} // namespace update_server
