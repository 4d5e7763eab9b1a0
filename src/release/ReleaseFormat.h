// What the release tool writes and the protected updater checks: the stamps of the update
// list, the signature file beside it, the maker's key file, the bounds on what the updater
// fetches, and the list paths a release may hold (ListPaths.h).
#pragma once

#include "Days.h"
#include "ListPaths.h"
#include "Names.h"
#include "platform/Crypto.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace release {

constexpr std::uint32_t kMaxReleaseNumber = 999999999;

// Bounds on what the protected updater takes from a server. The signature file is small
// and fixed in form: the longest the tool writes is 365 bytes. A list without a stated size
// (one signed by a signature file of version 1) is taken up to 200,000 of the longest lines
// an entry can have: a path of kMaxListPath, a TAB, a stamp of kMaxStamp (the updater keeps
// no more) and CR LF, about 80 MB. A file whose stamp states no size (an older release's)
// is taken up to 4 GiB.
constexpr std::uint64_t kMaxSignatureFileSize = 1024;
constexpr std::size_t kMaxStamp = 199;
constexpr std::uint64_t kMaxUnsizedListSize = 200000ull * (kMaxListPath + 1 + kMaxStamp + 2);
constexpr std::uint64_t kMaxUnsizedFileSize = 4ull << 30;

// A stamp: the file's date, the content hash in lower-case hex and the size in bytes in
// decimal, TAB-separated, so that the updater's comparison of stamps as whole texts also
// compares the sizes:
//   2026-12-09 TAB sha256=<64 hex digits> TAB size=<bytes>
// Stamps of older releases end at the hash and state no size; MakeStamp without a size
// writes that form.
std::string MakeStamp(const std::string& date, const platform::Sha256Digest& digest,
                      std::uint64_t size);
std::string MakeStamp(const std::string& date, const platform::Sha256Digest& digest);
// The content hash of a stamp of either form, or nothing when it carries none (a stamp
// whose size field is damaged carries none either).
std::optional<platform::Sha256Digest> StampDigest(const std::string& stamp);
// The size a stamp states, or nothing: an older stamp, or one without a content hash.
std::optional<std::uint64_t> StampSize(const std::string& stamp);

struct ListEntry {
    std::string path;
    std::string stamp;
};
// The rows of a list text as the updater reads them into its grid: lines end at CR LF (or a
// CR or an LF on its own), a
// rest of 2 characters or fewer is dropped, the path ends at the first TAB, a blank line
// holds no row of its own (the next line takes its place), so only blank lines at the very
// end can leave an empty last row. An empty text gives no row.
std::vector<ListEntry> ReadListRows(const std::string& text);
// The entries of a list: its rows without empty ones.
std::vector<ListEntry> ParseList(const std::string& text);
std::string WriteList(const std::vector<ListEntry>& entries);

// The signature file, CR LF lines; all lines but the last are what the signature covers.
// Version 3, written by the tool:
//   quorvel-release-signature 3
//   key <the key id of the key that signed it, KeyId.h>
//   key-statements N            (how many key statements lead to that key; 0: none)
//   release N
//   list-sha256 <64 hex digits>
//   list-size <bytes of the list>
//   expires YYYY-MM-DD          (only when the maker asked for an expiry)
//   signature <128 hex digits: r then s>
// Versions 2 and 1, of older releases, are still read: version 2 has no key line, version 1
// neither list-size nor expires lines.
struct SignatureFile {
    std::uint32_t version = 3;
    std::optional<std::string> keyId; // version 3 always names it
    std::uint32_t statements = 0;     // version 3: the key statements that lead to that key
    std::uint32_t release = 0;
    platform::Sha256Digest listDigest{};
    std::optional<std::uint64_t> listSize; // version 2 always states it
    std::optional<std::string> expires;    // YYYY-MM-DD; version 2 only
    platform::P256Signature signature{};
};
// The signed lines of a signature file.
std::string SignedPart(const SignatureFile& file);
std::string WriteSignatureFile(const SignatureFile& file);
// Nothing unless the text is exactly what WriteSignatureFile writes for some file, and no
// longer than kMaxSignatureFileSize.
std::optional<SignatureFile> ParseSignatureFile(const std::string& text);
// Whether the release has expired on the given day (YYYY-MM-DD): it holds through its
// expiry day and no longer from the day after. One without an expiry never expires.
bool Expired(const SignatureFile& file, const std::string& today);
// A calendar date written YYYY-MM-DD, years 1970 to 9999.
bool ValidDate(const std::string& text);

// A signature file that the key's owner made for a list: the list's exact bytes (and size,
// when stated), the release number and the signature all agree.
enum class Verdict { Good, Malformed, BadSignature, OtherList };
Verdict CheckSignature(const std::string& listBytes, const std::string& signatureText,
                       const platform::P256PublicKey& key, std::uint32_t* release);
// The same for a signature file on its own (the list's digest as it names it).
bool SignatureFileGenuine(const SignatureFile& file, const platform::P256PublicKey& key);

// Signs a list in version 3, with the signing key's id, the number of key statements that
// lead to it, its size and the expiry date if given; nothing when
// signing fails, the date or number is not valid, or the key's halves do not belong
// together.
std::optional<SignatureFile> SignList(const std::string& listBytes, std::uint32_t release,
                                      const platform::P256KeyPair& key,
                                      const std::optional<std::string>& expires = std::nullopt,
                                      std::uint32_t statements = 0);

// The maker's key file, readable by every build:
//   quorvel-private-key 1
//   private <64 hex digits>
//   public <128 hex digits: X then Y>
constexpr std::size_t kMaxKeyFileSize = 512;
std::string WriteKeyFile(const platform::P256KeyPair& key);
std::optional<platform::P256KeyPair> ParseKeyFile(const std::string& text);
// Whether bytes read from the start of a file are those of a private key file of this
// tool (of any version): such a file is never published.
bool BeginsAsKeyFile(const std::string& head);

std::optional<platform::P256PublicKey> ParsePublicKey(const std::string& hex);

} // namespace release
