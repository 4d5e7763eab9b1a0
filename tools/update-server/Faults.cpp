#include "Faults.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace update_server {

namespace {

std::optional<long long> Count(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    return std::stoll(text);
}

// Actions without a number, or whose number may be left out.
std::optional<Fault> WordFault(const std::string& action, const std::string& argument) {
    Fault fault;
    fault.cap = kDefaultCapBytes;
    if (action == "bad-range") {
        fault.kind = Fault::Kind::BadRange;
        if (argument == "total") {
            fault.misfit = Fault::Misfit::Total;
        }
        return argument.empty() || argument == "start" || argument == "total"
                   ? std::optional<Fault>(fault)
                   : std::nullopt;
    }
    if (action == "redirect" || action == "encoding") {
        fault.kind = action == "redirect" ? Fault::Kind::Redirect : Fault::Kind::Encoding;
        fault.location = argument;
        return argument.empty() ? std::nullopt : std::optional<Fault>(fault);
    }
    if (!argument.empty()) {
        return std::nullopt;
    }
    if (action == "drop") {
        fault.kind = Fault::Kind::Drop;
    } else if (action == "chunked-nolast") {
        fault.kind = Fault::Kind::ChunkedNoLast;
        fault.number = -1;
    } else if (action == "chunked" || action == "nolength") {
        fault.kind = action == "chunked" ? Fault::Kind::Chunked : Fault::Kind::NoLength;
        fault.number = -1;
    } else if (action == "framed-twice") {
        fault.kind = Fault::Kind::FramedTwice;
    } else if (action == "endless-headers") {
        fault.kind = Fault::Kind::EndlessHeaders;
    } else {
        return std::nullopt;
    }
    return fault;
}

} // namespace

std::optional<Fault> ParseFault(const std::string& action, const std::string& argument,
                                const std::string& second) {
    if (auto fault = WordFault(action, argument); fault || argument.empty()) {
        return second.empty() ? fault : std::nullopt;
    }
    static const std::map<std::string, Fault::Kind> kinds = {
        {"status", Fault::Kind::Status},
        {"cut", Fault::Kind::Cut},
        {"stall", Fault::Kind::Stall},
        {"chunked", Fault::Kind::Chunked},
        {"nolength", Fault::Kind::NoLength},
        {"trickle", Fault::Kind::Trickle},
        {"huge", Fault::Kind::Huge},
        {"header-trickle", Fault::Kind::HeaderTrickle},
        {"endless-headers", Fault::Kind::EndlessHeaders},
        {"delay", Fault::Kind::Delay},
    };
    auto kind = kinds.find(action);
    auto number = Count(argument);
    if (kind == kinds.end() || !number) {
        return std::nullopt;
    }
    Fault fault;
    fault.kind = kind->second;
    fault.cap = kDefaultCapBytes;
    // endless-headers takes its cap as its one number; huge takes it second.
    if (fault.kind == Fault::Kind::EndlessHeaders) {
        fault.cap = *number;
        return second.empty() ? std::optional<Fault>(fault) : std::nullopt;
    }
    fault.number = *number;
    if (!second.empty()) {
        auto cap = Count(second);
        if (fault.kind != Fault::Kind::Huge || !cap) {
            return std::nullopt;
        }
        fault.cap = *cap;
    }
    return fault;
}

void FaultTable::Reload() {
    std::error_code error;
    auto time = std::filesystem::last_write_time(file_, error);
    long long stamp = error ? -2 : static_cast<long long>(time.time_since_epoch().count());
    if (stamp == stamp_) {
        return;
    }
    stamp_ = stamp;
    faults_.clear();
    std::ifstream in(file_);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string path, action, argument, second;
        words >> path >> action >> argument >> second;
        if (path.empty() || path[0] == '#') {
            continue;
        }
        if (auto fault = ParseFault(action, argument, second)) {
            faults_[path] = *fault;
        }
    }
}

std::optional<Fault> FaultTable::For(const std::string& path) {
    if (file_.empty()) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Reload();
    auto it = faults_.find(path);
    if (it == faults_.end()) {
        it = faults_.find("*");
    }
    if (it == faults_.end()) {
        return std::nullopt;
    }
    return it->second;
}

} // namespace update_server
