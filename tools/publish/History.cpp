#include "History.h"

#include "Files.h"
#include "release/Hex.h"
#include "release/KeyId.h"
#include "release/ReleaseFormat.h"

#include <sstream>

namespace publish {

namespace {

const std::string kHeader = "quorvel-release-history 1\r\n";

std::string Line(const HistoryEntry& e) {
    return "release " + std::to_string(e.release) + " list-sha256 " + release::ToHex(e.listDigest) +
           " key " + e.keyId + " signed " + e.date + "\r\n";
}

// The entry of one line, read one way only: it must be the line Line writes for it.
std::optional<HistoryEntry> Parse(const std::string& line) {
    std::istringstream fields(line);
    std::string release, number, listWord, digest, keyWord, keyId, signedWord, date;
    fields >> release >> number >> listWord >> digest >> keyWord >> keyId >> signedWord >> date;
    const bool digits = !number.empty() && number.size() <= 9 &&
                        number.find_first_not_of("0123456789") == std::string::npos;
    auto hash = release::FromHex<32>(digest);
    if (!digits || !hash || !release::ValidDate(date) || keyId.size() != release::kKeyIdDigits) {
        return std::nullopt;
    }
    HistoryEntry e{static_cast<std::uint32_t>(std::stoul(number)), *hash, keyId, date};
    if (e.release == 0 || Line(e) != line + "\r\n") {
        return std::nullopt;
    }
    return e;
}

} // namespace

bool BeginsAsHistory(const std::string& head) {
    return head.compare(0, kHeader.size(), kHeader) == 0;
}

std::string HistoryBeside(const std::string& keyFile) {
    return keyFile + ".history";
}

Result<ReleaseHistory> ReleaseHistory::Load(const std::string& file) {
    ReleaseHistory history;
    history.file_ = file;
    if (!Exists(file)) {
        return history;
    }
    auto text = ReadFile(file, kMaxHistorySize);
    if (!text) {
        return text.With(" (the release history)");
    }
    history.started_ = true;
    const std::string damaged = "the release history \"" + file + "\" is damaged: ";
    const std::string mend = "; put back its backup (it is never taken as empty)";
    if (text->compare(0, kHeader.size(), kHeader) != 0) {
        return Damage(damaged + "it does not begin with \"quorvel-release-history 1\"" + mend);
    }
    std::size_t lineNumber = 1;
    for (std::size_t pos = kHeader.size(); pos < text->size();) {
        ++lineNumber;
        const std::size_t end = text->find("\r\n", pos);
        if (end == std::string::npos) {
            return Damage(damaged + "line " + std::to_string(lineNumber) +
                          " is cut short (it does not end in CR LF)" + mend);
        }
        auto entry = Parse(text->substr(pos, end - pos));
        if (!entry) {
            return Damage(damaged + "line " + std::to_string(lineNumber) +
                          " is not a line of a release history" + mend);
        }
        if (!history.entries_.empty() && entry->release <= history.entries_.back().release) {
            return Damage(damaged + "line " + std::to_string(lineNumber) + " names release " +
                          std::to_string(entry->release) + " after release " +
                          std::to_string(history.entries_.back().release) + mend);
        }
        history.entries_.push_back(*entry);
        pos = end + 2;
    }
    return history;
}

std::optional<std::uint32_t> ReleaseHistory::Highest() const {
    if (entries_.empty()) {
        return std::nullopt;
    }
    return entries_.back().release;
}

Status ReleaseHistory::Append(const HistoryEntry& entry) {
    std::string text = kHeader;
    for (const auto& e : entries_) {
        text += Line(e);
    }
    text += Line(entry);
    const std::string temp = file_ + ".tmp";
    Status step = WriteDurably(temp, text);
    if (step) {
        step = RenameReplacing(temp, file_);
    }
    if (!step) {
        RemoveQuietly(temp);
        return step.With(" (the release history)");
    }
    FlushFolder(FolderOf(file_));
    entries_.push_back(entry);
    started_ = true;
    return Done{};
}

} // namespace publish
