// The release history the tool keeps beside the key: one line for every signing, with the
// release number, the hash of the list it was given to and the id of the key that signed
// it. It is what makes a number mean one list, whatever folder is published.
#pragma once

#include "Result.h"
#include "platform/Crypto.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace publish {

// The file, CR LF lines:
//   quorvel-release-history 1
//   release N list-sha256 <64 hex digits> key <key id> signed YYYY-MM-DD
// with the numbers going up from line to line.
struct HistoryEntry {
    std::uint32_t release = 0;
    platform::Sha256Digest listDigest{};
    std::string keyId;
    std::string date;
};

// A history larger than this is not one the tool wrote (some 10 million signings).
constexpr std::uint64_t kMaxHistorySize = std::uint64_t{1} << 30;

class ReleaseHistory {
public:
    // The history in the file: a missing file is a history yet to be started; one that is
    // not exactly as the tool writes it is damaged, and never taken as empty.
    static Result<ReleaseHistory> Load(const std::string& file);

    const std::string& File() const { return file_; }
    bool Started() const { return started_; }
    const std::vector<HistoryEntry>& Entries() const { return entries_; }
    std::optional<std::uint32_t> Highest() const;

    // Adds the signing at the end, all or nothing: the whole history is written under a
    // temporary name, flushed and renamed into place.
    Status Append(const HistoryEntry& entry);

private:
    std::string file_;
    bool started_ = false;
    std::vector<HistoryEntry> entries_;
};

// Whether bytes read from the start of a file are those of a release history.
bool BeginsAsHistory(const std::string& head);

// The history beside a key file.
std::string HistoryBeside(const std::string& keyFile);

} // namespace publish
