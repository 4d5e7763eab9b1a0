// The shared documents folder and the moves of the run.
#include "../platform/Files.h"
#include "../platform/System.h"
#include "Run.h"

namespace {

constexpr int kMoveRetries = 10;
constexpr unsigned kMoveRetryPauseMs = 200;

} // namespace

std::string DocumentsRoot() {
    const char* variable = platform::OsMajorVersion() >= 6 ? "PUBLIC" : "ALLUSERSPROFILE";
    return platform::EnvironmentVariable(variable).value_or("") + "\\";
}

// A virus scanner or indexer that has just opened a fresh file lets go of it within moments.
bool MoveFilePatiently(const std::string& from, const std::string& to) {
    for (int attempt = 0;; ++attempt) {
        platform::MoveResult result = platform::MoveExisting(from, to);
        if (result == platform::MoveResult::Moved) {
            return true;
        }
        if (result != platform::MoveResult::Busy || attempt == kMoveRetries) {
            return false;
        }
        platform::PauseMilliseconds(kMoveRetryPauseMs);
    }
}
