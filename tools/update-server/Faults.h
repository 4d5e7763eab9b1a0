// Faults the update server can be told to inject, per request path.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace update_server {

struct Fault {
    enum class Kind { Status, Cut, Stall, Drop, Redirect } kind = Kind::Status;
    long number = 0;      // status code, bytes before the cut, seconds of the stall
    std::string location; // the target of a redirect
};

// A file of lines "PATH ACTION [ARGUMENT]", PATH relative to the release folder (or "*" for
// every path), ACTION one of status, cut, stall, drop, redirect. Read again whenever it
// changes, so a test can rewrite it between requests. Blank lines and "#" lines are ignored.
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
