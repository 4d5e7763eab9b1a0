// The signature file beside the list: writing, reading one way only, and checking.
#include "ReleaseFormat.h"

#include "Fields.h"
#include "Hex.h"
#include "KeyId.h"
#include "KeyStatement.h"

namespace release {

namespace {

constexpr const char* kHeader = "quorvel-release-signature ";

std::optional<std::uint32_t> ParseReleaseNumber(const std::string& text) {
    auto value = ParseDecimal(text);
    if (!value || *value == 0 || *value > kMaxReleaseNumber) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*value);
}

bool LeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The fields of the signed lines after the header, in their order; the number of lines
// they take is checked by the caller.
bool ParseSignedFields(const std::vector<std::string>& lines, SignatureFile& file) {
    std::size_t next = 1;
    auto take = [&](const char* name) -> std::optional<std::string> {
        if (next >= lines.size()) {
            return std::nullopt;
        }
        auto value = Field(lines[next], name);
        if (value) {
            ++next;
        }
        return value;
    };
    if (file.version >= 3) {
        file.keyId = take("key");
        auto statements = take("key-statements");
        auto count = statements ? ParseDecimal(*statements) : std::nullopt;
        if (!file.keyId || !ValidKeyId(*file.keyId) || !count || *count > kMaxStatementNumber) {
            return false;
        }
        file.statements = static_cast<std::uint32_t>(*count);
    }
    auto number = take("release");
    auto release = number ? ParseReleaseNumber(*number) : std::nullopt;
    auto digest = take("list-sha256");
    if (!release || !digest || !FromHex(*digest, file.listDigest.data(), file.listDigest.size())) {
        return false;
    }
    file.release = *release;
    if (file.version >= 2) {
        auto size = take("list-size");
        file.listSize = size ? ParseDecimal(*size) : std::nullopt;
        if (!file.listSize) {
            return false;
        }
        file.expires = take("expires");
        if (file.expires && !ValidDate(*file.expires)) {
            return false;
        }
    }
    auto signature = take("signature");
    return signature && next == lines.size() &&
           FromHex(*signature, file.signature.data(), file.signature.size());
}

} // namespace

bool ValidDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 4 && i != 7 && (text[i] < '0' || text[i] > '9')) {
            return false;
        }
    }
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    return day <= kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
}

bool Expired(const SignatureFile& file, const std::string& today) {
    // Dates written YYYY-MM-DD sort as text in calendar order.
    return file.expires.has_value() && today > *file.expires;
}

std::string SignedPart(const SignatureFile& file) {
    std::string text = kHeader + std::to_string(file.version) + "\r\n";
    if (file.version >= 3) {
        text += "key " + file.keyId.value_or(std::string()) + "\r\nkey-statements " +
                std::to_string(file.statements) + "\r\n";
    }
    text += "release " + std::to_string(file.release) + "\r\nlist-sha256 " +
            ToHex(file.listDigest) + "\r\n";
    if (file.version >= 2) {
        text += "list-size " + std::to_string(file.listSize.value_or(0)) + "\r\n";
        if (file.expires) {
            text += "expires " + *file.expires + "\r\n";
        }
    }
    return text;
}

std::string WriteSignatureFile(const SignatureFile& file) {
    return SignedPart(file) + "signature " + ToHex(file.signature) + "\r\n";
}

std::optional<SignatureFile> ParseSignatureFile(const std::string& text) {
    if (text.size() > kMaxSignatureFileSize) {
        return std::nullopt;
    }
    std::vector<std::string> lines = Lines(text);
    SignatureFile file;
    if (lines.empty() || lines[0].size() != std::string(kHeader).size() + 1 ||
        lines[0].compare(0, lines[0].size() - 1, kHeader) != 0 || lines[0].back() < '1' ||
        lines[0].back() > '3') {
        return std::nullopt;
    }
    file.version = static_cast<std::uint32_t>(lines[0].back() - '0');
    if (!ParseSignedFields(lines, file)) {
        return std::nullopt;
    }
    // Exactly as it is written, so that it reads one way only.
    if (WriteSignatureFile(file) != text) {
        return std::nullopt;
    }
    return file;
}

bool SignatureFileGenuine(const SignatureFile& file, const platform::P256PublicKey& key) {
    auto digest = platform::Sha256Of(SignedPart(file));
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
    if ((file->listSize && *file->listSize != listBytes.size()) || !listDigest ||
        *listDigest != file->listDigest) {
        return Verdict::OtherList;
    }
    if (release != nullptr) {
        *release = file->release;
    }
    return Verdict::Good;
}

std::optional<SignatureFile> SignList(const std::string& listBytes, std::uint32_t release,
                                      const platform::P256KeyPair& key,
                                      const std::optional<std::string>& expires,
                                      std::uint32_t statements) {
    auto listDigest = platform::Sha256Of(listBytes);
    if (!listDigest || release == 0 || release > kMaxReleaseNumber ||
        (expires && !ValidDate(*expires)) || statements > kMaxStatementNumber) {
        return std::nullopt;
    }
    SignatureFile file;
    file.keyId = KeyId(key.publicKey);
    file.statements = statements;
    file.release = release;
    file.listDigest = *listDigest;
    file.listSize = listBytes.size();
    file.expires = expires;
    auto digest = platform::Sha256Of(SignedPart(file));
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

} // namespace release
