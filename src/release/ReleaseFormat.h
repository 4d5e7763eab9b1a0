// What the release tool writes and the protected updater checks: the stamps of the update
// list, the signature file beside it, the maker's key file, and the names a list may hold.
#pragma once

#include "Names.h"
#include "platform/Crypto.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace release {

// Longest list path the tool accepts: it must fit below a typical installation folder.
constexpr std::size_t kMaxListPath = 200;
constexpr std::uint32_t kMaxReleaseNumber = 999999999;

// A stamp: the file's date, a TAB, "sha256=" and the content hash in lower-case hex.
std::string MakeStamp(const std::string& date, const platform::Sha256Digest& digest);
// The content hash a stamp ends with, or nothing when it carries none.
std::optional<platform::Sha256Digest> StampDigest(const std::string& stamp);

struct ListEntry {
    std::string path;
    std::string stamp;
};
// The rows of a list text as the updater reads them into its grid: lines end at CR LF, a
// rest of 2 characters or fewer is dropped, the path ends at the first TAB, a blank line
// holds no row of its own (the next line takes its place), so only blank lines at the very
// end can leave an empty last row. An empty text gives no row.
std::vector<ListEntry> ReadListRows(const std::string& text);
// The entries of a list: its rows without empty ones.
std::vector<ListEntry> ParseList(const std::string& text);
std::string WriteList(const std::vector<ListEntry>& entries);

// Why a list path cannot be installed, or nothing when it can. The rules are those of the
// updater's folder and file names, plus the names Windows reserves and the length limit.
std::optional<std::string> RefusedListPath(const std::string& path);

// The signature file: its first three lines are what the signature covers.
//   quorvel-release-signature 1
//   release N
//   list-sha256 <64 hex digits>
//   signature <128 hex digits: r then s>
struct SignatureFile {
    std::uint32_t release = 0;
    platform::Sha256Digest listDigest{};
    platform::P256Signature signature{};
};
std::string SignedPart(std::uint32_t release, const platform::Sha256Digest& listDigest);
std::string WriteSignatureFile(const SignatureFile& file);
// Nothing unless the text is exactly that form.
std::optional<SignatureFile> ParseSignatureFile(const std::string& text);

// A signature file that the key's owner made for a list: the list's exact bytes, the
// release number and the signature all agree.
enum class Verdict { Good, Malformed, BadSignature, OtherList };
Verdict CheckSignature(const std::string& listBytes, const std::string& signatureText,
                       const platform::P256PublicKey& key, std::uint32_t* release);
// The same for a signature file on its own (the list's digest as it names it).
bool SignatureFileGenuine(const SignatureFile& file, const platform::P256PublicKey& key);

// Signs a list; nothing when signing fails or the key's halves do not belong together.
std::optional<SignatureFile> SignList(const std::string& listBytes, std::uint32_t release,
                                      const platform::P256KeyPair& key);

// The maker's key file, readable by every build:
//   quorvel-private-key 1
//   private <64 hex digits>
//   public <128 hex digits: X then Y>
std::string WriteKeyFile(const platform::P256KeyPair& key);
std::optional<platform::P256KeyPair> ParseKeyFile(const std::string& text);

std::optional<platform::P256PublicKey> ParsePublicKey(const std::string& hex);

} // namespace release
