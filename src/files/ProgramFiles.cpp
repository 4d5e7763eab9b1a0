// Where the program's own files and folders are.
#include "ProgramFiles.h"

#include "../platform/Files.h"
#include "../platform/System.h"

namespace {

constexpr int kMoveRetries = 10;
constexpr unsigned kMoveRetryPauseMs = 200;

std::string EnvOrEmpty(const char* name) {
    return platform::EnvironmentVariable(name).value_or(std::string());
}

} // namespace

std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string OwnFolder() {
    return FolderOf(platform::OwnExecutablePath());
}

std::string TempFilePath() {
    return OwnFolder() + release::kTempFileName;
}

// A home folder at a drive root ("\") must not give "H:\\Desktop": the doubled backslash
// would be an empty level on the way to the desktop.
std::string JoinPath(const std::string& head, const std::string& tail) {
    if (!head.empty() && head.back() == '\\' && !tail.empty() && tail.front() == '\\') {
        return head + tail.substr(1);
    }
    return head + tail;
}

std::string DesktopFolder(const std::string& tail) {
    return JoinPath(EnvOrEmpty("HOMEDRIVE") + EnvOrEmpty("HOMEPATH"), tail);
}

namespace {

// A virus scanner or indexer that has just opened a fresh file lets go of it within moments:
// an attempt that another program's hold blocked is made again, a few times.
template <typename Attempt, typename Held> auto Patiently(Attempt attempt, Held held) {
    for (int tries = 0;; ++tries) {
        auto result = attempt();
        if (tries == kMoveRetries || !held(result)) {
            return result;
        }
        platform::PauseMilliseconds(kMoveRetryPauseMs);
    }
}

template <typename Move> platform::MoveResult Patiently(Move move) {
    return Patiently(move, [](platform::MoveResult r) { return r == platform::MoveResult::Busy; });
}

} // namespace

bool MoveFilePatiently(const std::string& from, const std::string& to) {
    return Patiently([&] { return platform::MoveExisting(from, to); }) ==
           platform::MoveResult::Moved;
}

bool ReplaceFilePatiently(const std::string& from, const std::string& to) {
    return Patiently([&] { return platform::MoveReplacing(from, to); }) ==
           platform::MoveResult::Moved;
}

platform::MoveResult RenameFilePatiently(const std::string& from, const std::string& to) {
    return Patiently([&] { return platform::RenameExisting(from, to); });
}

FileRead ReadFileBytesPatiently(const std::string& path, std::string& text) {
    return Patiently(
        [&] { return ReadFileBytes(path, text); },
        [&](FileRead read) { return read == FileRead::Unreadable && platform::FileExists(path); });
}
