#include "ReleaseFormat.h"

#include "Hex.h"

namespace release {

namespace {

constexpr const char* kSignatureHeader = "quorvel-release-signature 1";
constexpr const char* kKeyHeader = "quorvel-private-key 1";
constexpr std::size_t kMaxSignatureFile = 512;
constexpr std::size_t kMaxKeyFile = 512;

// Lines split at LF, a CR before it dropped; a last line without an end counts.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// The value of a "name value" line.
std::optional<std::string> Field(const std::string& line, const std::string& name) {
    if (line.compare(0, name.size() + 1, name + " ") != 0) {
        return std::nullopt;
    }
    return line.substr(name.size() + 1);
}

std::optional<std::uint32_t> ParseReleaseNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || text[0] == '0') {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices, with any extension.
bool ReservedDeviceName(const std::string& segment) {
    std::string base = AsciiUpper(segment.substr(0, segment.find('.')));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

std::optional<std::string> RefusedSegment(const std::string& segment) {
    if (segment.empty()) {
        return std::string("an empty folder or file name (\"//\", or \"/\" at the start or end)");
    }
    if (segment.find_first_not_of(". ") == std::string::npos) {
        return std::string("a name made of dots or blanks only (such as \".\" or \"..\")");
    }
    if (segment.back() == '.' || segment.back() == ' ') {
        return std::string("a name ending in a dot or a blank, which Windows drops");
    }
    if (ReservedDeviceName(segment)) {
        return std::string("a name Windows reserves for a device (\"" + segment + "\")");
    }
    return std::nullopt;
}

} // namespace

std::string MakeStamp(const std::string& date, const platform::Sha256Digest& digest) {
    return date + "\tsha256=" + ToHex(digest);
}

std::optional<platform::Sha256Digest> StampDigest(const std::string& stamp) {
    const std::string tag = "sha256=";
    const std::size_t length = tag.size() + 64;
    if (stamp.size() < length) {
        return std::nullopt;
    }
    std::size_t at = stamp.size() - length;
    if (stamp.compare(at, tag.size(), tag) != 0 || (at > 0 && stamp[at - 1] != '\t')) {
        return std::nullopt;
    }
    std::string hex = stamp.substr(at + tag.size());
    for (char c : hex) {
        if (c >= 'A' && c <= 'Z') {
            return std::nullopt;
        }
    }
    return FromHex<32>(hex);
}

std::vector<ListEntry> ReadListRows(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (text.size() - pos > 2) {
        std::size_t end = text.find("\r\n", pos);
        std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        pos = end == std::string::npos ? text.size() : end + 2;
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

std::optional<std::string> RefusedListPath(const std::string& path) {
    if (path.size() > kMaxListPath) {
        return "a path of " + std::to_string(path.size()) + " characters, too long to install (" +
               std::to_string(kMaxListPath) + " at most)";
    }
    for (unsigned char c : path) {
        if (c == '\t') {
            return std::string("a TAB, which would end the path in the list");
        }
        if (c < 32 || c == 127) {
            return std::string("a control character");
        }
        if (c == '\\') {
            return std::string("a backslash (folders are separated by \"/\")");
        }
        if (ForbiddenInName(c)) {
            return std::string("the character '") + static_cast<char>(c) +
                   "', which Windows does not allow in a name";
        }
    }
    std::size_t pos = 0;
    while (true) {
        std::size_t slash = path.find('/', pos);
        std::string segment = path.substr(pos, slash == std::string::npos ? slash : slash - pos);
        if (auto why = RefusedSegment(segment)) {
            return why;
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    // The updater keeps its own files beside the installed ones.
    std::string upper = AsciiUpper(path);
    if (upper == AsciiUpper(kLocalListName) || upper == AsciiUpper(kKeptSignatureName) ||
        upper == AsciiUpper(kTempFileName)) {
        return std::string("a name the updater uses for its own files");
    }
    return std::nullopt;
}

std::string SignedPart(std::uint32_t release, const platform::Sha256Digest& listDigest) {
    return std::string(kSignatureHeader) + "\r\nrelease " + std::to_string(release) +
           "\r\nlist-sha256 " + ToHex(listDigest) + "\r\n";
}

std::string WriteSignatureFile(const SignatureFile& file) {
    return SignedPart(file.release, file.listDigest) + "signature " + ToHex(file.signature) +
           "\r\n";
}

std::optional<SignatureFile> ParseSignatureFile(const std::string& text) {
    if (text.size() > kMaxSignatureFile) {
        return std::nullopt;
    }
    std::vector<std::string> lines = Lines(text);
    if (lines.size() != 4 || lines[0] != kSignatureHeader) {
        return std::nullopt;
    }
    auto number = Field(lines[1], "release");
    auto digest = Field(lines[2], "list-sha256");
    auto signature = Field(lines[3], "signature");
    if (!number || !digest || !signature) {
        return std::nullopt;
    }
    SignatureFile file;
    auto release = ParseReleaseNumber(*number);
    if (!release || !FromHex(*digest, file.listDigest.data(), file.listDigest.size()) ||
        !FromHex(*signature, file.signature.data(), file.signature.size())) {
        return std::nullopt;
    }
    file.release = *release;
    // The signed part must be exactly as it is written, so that it reads one way only.
    if (text.compare(0, SignedPart(file.release, file.listDigest).size(),
                     SignedPart(file.release, file.listDigest)) != 0) {
        return std::nullopt;
    }
    return file;
}

bool SignatureFileGenuine(const SignatureFile& file, const platform::P256PublicKey& key) {
    auto digest = platform::Sha256Of(SignedPart(file.release, file.listDigest));
    return digest.has_value() && platform::VerifyP256(key, *digest, file.signature);
}

Verdict CheckSignature(const std::string& listBytes, const std::string& signatureText,
                       const platform::P256PublicKey& key, std::uint32_t* release) {
    auto file = ParseSignatureFile(signatureText);
    if (!file) {
        return Verdict::Malformed;
    }
    if (!SignatureFileGenuine(*file, key)) {
        return Verdict::BadSignature;
    }
    auto listDigest = platform::Sha256Of(listBytes);
    if (!listDigest || *listDigest != file->listDigest) {
        return Verdict::OtherList;
    }
    if (release != nullptr) {
        *release = file->release;
    }
    return Verdict::Good;
}

std::optional<SignatureFile> SignList(const std::string& listBytes, std::uint32_t release,
                                      const platform::P256KeyPair& key) {
    auto listDigest = platform::Sha256Of(listBytes);
    if (!listDigest || release == 0 || release > kMaxReleaseNumber) {
        return std::nullopt;
    }
    SignatureFile file;
    file.release = release;
    file.listDigest = *listDigest;
    auto digest = platform::Sha256Of(SignedPart(release, *listDigest));
    auto signature = digest ? platform::SignP256(key, *digest) : std::nullopt;
    if (!signature) {
        return std::nullopt;
    }
    file.signature = *signature;
    // A key file whose halves do not belong together would sign what nobody can verify.
    if (!SignatureFileGenuine(file, key.publicKey)) {
        return std::nullopt;
    }
    return file;
}

std::string WriteKeyFile(const platform::P256KeyPair& key) {
    return std::string(kKeyHeader) + "\r\nprivate " + ToHex(key.privateKey) + "\r\npublic " +
           ToHex(key.publicKey) + "\r\n";
}

std::optional<platform::P256KeyPair> ParseKeyFile(const std::string& text) {
    if (text.size() > kMaxKeyFile) {
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

std::optional<platform::P256PublicKey> ParsePublicKey(const std::string& hex) {
    return FromHex<64>(hex);
}

} // namespace release
