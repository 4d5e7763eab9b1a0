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
        Chunked,       // chunked, no length; with a number: cut after that many bytes
        ChunkedNoLast, // chunked, every data chunk but not the last, empty one
        NoLength,      // no length, the connection closes; with a number: after that many bytes
        Encoding,      // the stored bytes, labelled with a Content-Encoding
        Trickle,       // with its length, one byte every number milliseconds
    } kind = Kind::Status;
    long number = 0;      // status code, bytes before the cut (-1: none), seconds of the stall
    std::string location; // the target of a redirect; the name of an encoding
};

// A file of lines "PATH ACTION [ARGUMENT]", PATH relative to the release folder (or "*" for
// every path), ACTION one of status, cut, stall, drop, redirect, chunked [N],
// chunked-nolast, nolength [N], encoding NAME, trickle MS. Read again whenever it changes,
// so a test can rewrite it between requests. Blank lines and "#" lines are ignored.
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

std::optional<Fault> ParseFault(const std::string& action, const std::string& argument);

} // namespace update_server
