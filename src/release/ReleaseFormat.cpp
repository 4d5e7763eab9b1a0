#include "ReleaseFormat.h"

#include "Fields.h"
#include "Hex.h"

namespace release {

namespace {

constexpr const char* kKeyHeader = "quorvel-private-key 1";
constexpr const char* kKeyHeaderAnyVersion = "quorvel-private-key ";
constexpr const char* kHashTag = "sha256=";
constexpr const char* kSizeTag = "size=";

struct StampTail {
    platform::Sha256Digest digest{};
    std::optional<std::uint64_t> size;
};

// The hash, and the size after it if there is one, at the end of a stamp.
std::optional<StampTail> ParseStampTail(const std::string& stamp) {
    StampTail tail;
    std::string rest = stamp;
    const std::size_t lastTab = stamp.rfind('\t');
    const std::string sizeField = "\t" + std::string(kSizeTag);
    if (lastTab != std::string::npos && stamp.compare(lastTab, sizeField.size(), sizeField) == 0) {
        tail.size = ParseDecimal(stamp.substr(lastTab + sizeField.size()));
        if (!tail.size) {
            return std::nullopt;
        }
        rest = stamp.substr(0, lastTab);
    }
    const std::string tag = kHashTag;
    const std::size_t length = tag.size() + 64;
    if (rest.size() < length) {
        return std::nullopt;
    }
    const std::size_t at = rest.size() - length;
    if (rest.compare(at, tag.size(), tag) != 0 || (at > 0 && rest[at - 1] != '\t')) {
        return std::nullopt;
    }
    const std::string hex = rest.substr(at + tag.size());
    for (char c : hex) {
        if (c >= 'A' && c <= 'Z') {
            return std::nullopt;
        }
    }
    if (!FromHex(hex, tail.digest.data(), tail.digest.size())) {
        return std::nullopt;
    }
    return tail;
}

} // namespace

std::string MakeStamp(const std::string& date, const platform::Sha256Digest& digest) {
    return date + "\t" + kHashTag + ToHex(digest);
}

std::string MakeStamp(const std::string& date, const platform::Sha256Digest& digest,
                      std::uint64_t size) {
    return MakeStamp(date, digest) + "\t" + kSizeTag + std::to_string(size);
}

std::optional<platform::Sha256Digest> StampDigest(const std::string& stamp) {
    auto tail = ParseStampTail(stamp);
    return tail ? std::optional<platform::Sha256Digest>(tail->digest) : std::nullopt;
}

std::optional<std::uint64_t> StampSize(const std::string& stamp) {
    auto tail = ParseStampTail(stamp);
    return tail ? tail->size : std::nullopt;
}

std::vector<ListEntry> ReadListRows(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (text.size() - pos > 2) {
        // A line ends at CR LF, and at a CR or an LF on its own: a list saved on another
        // system, or passed through a tool that rewrites line ends, reads the same.
        std::size_t end = text.find_first_of("\r\n", pos);
        std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        const bool crlf = end != std::string::npos && text.compare(end, 2, "\r\n") == 0;
        pos = end == std::string::npos ? text.size() : end + (crlf ? 2 : 1);
        // A new row only when the last one holds text: a blank line is taken by the next.
        if (lines.empty() || !lines.back().empty()) {
            lines.emplace_back();
        }
        lines.back() = std::move(line);
    }
    std::vector<ListEntry> rows;
    for (const auto& line : lines) {
        std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            rows.push_back({line, std::string()});
        } else {
            rows.push_back({line.substr(0, tab), line.substr(tab + 1)});
        }
    }
    return rows;
}

std::vector<ListEntry> ParseList(const std::string& text) {
    std::vector<ListEntry> entries = ReadListRows(text);
    if (!entries.empty() && entries.back().path.empty() && entries.back().stamp.empty()) {
        entries.pop_back();
    }
    return entries;
}

std::string WriteList(const std::vector<ListEntry>& entries) {
    std::string text;
    for (const auto& e : entries) {
        text += e.path + "\t" + e.stamp + "\r\n";
    }
    return text;
}

std::string WriteKeyFile(const platform::P256KeyPair& key) {
    return std::string(kKeyHeader) + "\r\nprivate " + ToHex(key.privateKey) + "\r\npublic " +
           ToHex(key.publicKey) + "\r\n";
}

std::optional<platform::P256KeyPair> ParseKeyFile(const std::string& text) {
    if (text.size() > kMaxKeyFileSize) {
        return std::nullopt;
    }
    std::vector<std::string> lines = Lines(text);
    if (lines.size() != 3 || lines[0] != kKeyHeader) {
        return std::nullopt;
    }
    auto privateHex = Field(lines[1], "private");
    auto publicHex = Field(lines[2], "public");
    platform::P256KeyPair key;
    if (!privateHex || !publicHex ||
        !FromHex(*privateHex, key.privateKey.data(), key.privateKey.size()) ||
        !FromHex(*publicHex, key.publicKey.data(), key.publicKey.size())) {
        return std::nullopt;
    }
    return key;
}

bool BeginsAsKeyFile(const std::string& head) {
    return head.compare(0, std::string(kKeyHeaderAnyVersion).size(), kKeyHeaderAnyVersion) == 0;
}

std::optional<platform::P256PublicKey> ParsePublicKey(const std::string& hex) {
    return FromHex<64>(hex);
}

} // namespace release
