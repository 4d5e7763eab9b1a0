#include "Faults.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace update_server {

std::optional<Fault> ParseFault(const std::string& action, const std::string& argument) {
    Fault fault;
    if (action == "redirect") {
        fault.kind = Fault::Kind::Redirect;
        fault.location = argument;
        return argument.empty() ? std::nullopt : std::optional<Fault>(fault);
    }
    if (action == "encoding") {
        fault.kind = Fault::Kind::Encoding;
        fault.location = argument;
        return argument.empty() ? std::nullopt : std::optional<Fault>(fault);
    }
    if (action == "drop") {
        fault.kind = Fault::Kind::Drop;
        return fault;
    }
    if (action == "chunked-nolast") {
        fault.kind = Fault::Kind::ChunkedNoLast;
        return fault;
    }
    if ((action == "chunked" || action == "nolength") && argument.empty()) {
        fault.kind = action == "chunked" ? Fault::Kind::Chunked : Fault::Kind::NoLength;
        fault.number = -1;
        return fault;
    }
    try {
        fault.number = std::stol(argument);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (action == "status") {
        fault.kind = Fault::Kind::Status;
    } else if (action == "cut") {
        fault.kind = Fault::Kind::Cut;
    } else if (action == "stall") {
        fault.kind = Fault::Kind::Stall;
    } else if (action == "chunked") {
        fault.kind = Fault::Kind::Chunked;
    } else if (action == "nolength") {
        fault.kind = Fault::Kind::NoLength;
    } else if (action == "trickle") {
        fault.kind = Fault::Kind::Trickle;
    } else {
        return std::nullopt;
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
        std::string path, action, argument;
        words >> path >> action >> argument;
        if (path.empty() || path[0] == '#') {
            continue;
        }
        if (auto fault = ParseFault(action, argument)) {
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
