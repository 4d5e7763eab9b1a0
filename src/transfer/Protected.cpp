// Checks of the protected updater. The signature file is fetched first, within a small bound,
// and judged on its own: key, expiry and release number against the one in place; the list
// is then fetched within the size it states and checked on the exact bytes that arrived.
// Each fetched file is held to its listed size and content hash (in every build), and must
// have both here; a file already in place is checked on its bytes read back.
#include "Protection.h"

#include "../app/Main.h"
#include "../app/Messages.h"
#include "../app/Settings.h"
#include "../files/ProgramFiles.h"
#include "../platform/Clock.h"
#include "../platform/Crypto.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../platform/System.h"
#include "../release/KeyId.h"
#include "../release/ReleaseFormat.h"
#include "ChainWalk.h"
#include "ProtectionMessages.h"
#include "SmallFiles.h"
#include "Transfer.h"

#include <vector>

namespace protection {

using release::CheckSignature;
using release::kMaxSignatureFileSize;
using release::kMaxUnsizedListSize;
using release::kSignatureName;
using release::ParseSignatureFile;
using release::SignatureFile;
using release::SignatureFileGenuine;
using release::StampDigest;
using release::Verdict;

namespace {

constexpr std::int64_t kChunk = 1 << 20;

// The first build-time key, which signs releases until a key statement moves that on.
platform::P256PublicKey BuiltInKey() {
    // Checked at configuration; keys that did not parse verify nothing.
    auto trust = release::BuildTimeTrust(settings::kReleaseKey);
    return trust ? trust->releaseKey : platform::P256PublicKey{};
}

void Refuse(const std::string& reason) {
    ShowMessageBox(msg::kListNotSigned + reason + msg::kNothingInstalled, msg::kDownloadError,
                   platform::MbOk);
}

std::optional<platform::Sha256Digest> FileDigest(const std::string& path) {
    platform::ExclusiveFile file(path);
    std::int64_t size = file.IsOpen() ? file.Size() : -1;
    if (size < 0) {
        return std::nullopt;
    }
    platform::Sha256 hash;
    std::vector<char> buffer(static_cast<std::size_t>(std::min(size, kChunk)) + 1);
    for (std::int64_t done = 0; done < size;) {
        std::int64_t got = file.Read(buffer.data(), std::min(size - done, kChunk));
        if (got <= 0) {
            return std::nullopt;
        }
        hash.Update(buffer.data(), static_cast<std::size_t>(got));
        done += got;
    }
    return hash.Finish();
}

bool MatchesStamp(const std::string& path, const std::string& stamp) {
    auto expected = StampDigest(stamp);
    auto actual = expected ? FileDigest(path) : std::nullopt;
    return actual.has_value() && *actual == *expected;
}

// The signature file kept beside the local list: nothing for a fresh installation (or an
// older form made by another key). A file of the current form names its key and was kept
// only once accepted, whichever key of the chain made it. False when one is there but
// cannot be read, so that no release can be judged against it.
bool ReadKept(const std::string& keptFile, std::optional<SignatureFile>& kept) {
    kept.reset();
    std::string text;
    // Read first and asked for only when it cannot be read: one failed call never makes a
    // kept number look absent, which would let any older release in.
    if (ReadFileBytes(keptFile, text) != FileRead::Whole) {
        return !platform::FileAttributes(keptFile).has_value();
    }
    auto file = ParseSignatureFile(text);
    if (file && (file->keyId || SignatureFileGenuine(*file, BuiltInKey()))) {
        kept = file;
    }
    return true;
}

std::string Reason(Verdict verdict) {
    switch (verdict) {
    case Verdict::Malformed:
        return msg::kSignatureDamaged;
    case Verdict::BadSignature:
        return msg::kSignatureForeign;
    case Verdict::OtherList:
        return msg::kSignatureOtherList;
    case Verdict::Good:
        break;
    }
    return std::string();
}

// The fetched signature file's bytes, or why there are none; it leaves no file behind.
std::string FetchSignature(TFORM_MAIN& form, std::string& signature) {
    switch (FetchSmallFile(form, kSignatureName, kMaxSignatureFileSize, signature)) {
    case SmallFetch::Fetched:
        break;
    case SmallFetch::Missing:
        return msg::kSignatureMissing;
    case SmallFetch::Unreadable:
        return msg::kSignatureUnreadable;
    }
    return std::string();
}

// Why a genuine release may not replace the one in place; empty when it may. Releases only
// go up: one with the number in place must be that very list (the kept file names its hash).
std::string Objection(const SignatureFile& offered, const std::optional<SignatureFile>& kept) {
    const std::string number = "release " + std::to_string(offered.release);
    if (release::Expired(offered, release::UtcDay(platform::UnixTimeSeconds()))) {
        return msg::kServerOffered + std::string("a release that has expired (on ") +
               *offered.expires + ")" + msg::kOutOfDateOrTampered;
    }
    if (!kept || offered.release > kept->release) {
        return std::string();
    }
    const std::string inPlace = "release " + std::to_string(kept->release) + " already in place";
    if (offered.release < kept->release) {
        return msg::kServerOffered + number + ", older than " + inPlace + msg::kOutOfDateOrTampered;
    }
    if (offered.listDigest != kept->listDigest) {
        return msg::kServerOffered + number + " with a list other than the one of " + inPlace +
               msg::kTampered;
    }
    return std::string();
}

// The key that signs the release offered: the one the key statements name, walked from the
// trust in place (the kept statement's, or the build-time keys') up to the statement the
// release states. A signature file of an older form names no key and no statement and is
// checked against the key in place. Nothing when the key is not one to trust (told).
std::optional<platform::P256PublicKey> SigningKey(TFORM_MAIN& form, const release::Trust& inPlace,
                                                  const SignatureFile& file) {
    WalkResult walk = WalkTo(form, inPlace, file.statements);
    if (walk.outcome == WalkOutcome::NotKept) {
        ShowMessageBox(msg::kKeysNotKept, msg::kUpdateError, platform::MbOk);
        return std::nullopt;
    }
    const std::string named = release::KeyId(walk.trust.releaseKey);
    if (walk.outcome == WalkOutcome::Reached && file.keyId && *file.keyId != named) {
        walk.reason = msg::kSignedWithKey + *file.keyId + msg::kTakesOnlyKey + named + msg::kOnly;
    } else if (walk.outcome == WalkOutcome::Reached) {
        return walk.trust.releaseKey;
    }
    ShowMessageBox(msg::kNotTrusted + walk.reason + msg::kNothingInstalled, msg::kDownloadError,
                   platform::MbOk);
    return std::nullopt;
}

} // namespace

std::optional<OfferedRelease> ReleaseOffered(TFORM_MAIN& form) {
    std::optional<SignatureFile> kept;
    if (!ReadKept(form.PelmoraPath.Text() + release::kKeptSignatureName, kept)) {
        ShowMessageBox(msg::kKeptUnreadable, msg::kUpdateError, platform::MbOk);
        return std::nullopt;
    }
    const TrustInPlace inPlace = ReadTrustInPlace(form.PelmoraPath.Text());
    if (inPlace.outcome == KeptTrust::Unreadable) {
        ShowMessageBox(msg::kKeysUnreadable, msg::kUpdateError, platform::MbOk);
        return std::nullopt;
    }
    OfferedRelease offered;
    std::string reason = FetchSignature(form, offered.signature);
    std::optional<SignatureFile> file;
    if (reason.empty()) {
        file = ParseSignatureFile(offered.signature);
        if (!file) {
            reason = msg::kSignatureDamaged;
        }
    }
    if (!reason.empty()) {
        Refuse(reason);
        return std::nullopt;
    }
    auto key = SigningKey(form, inPlace.trust, *file);
    if (!key) {
        return std::nullopt;
    }
    if (!SignatureFileGenuine(*file, *key)) {
        Refuse(msg::kSignatureForeign);
        return std::nullopt;
    }
    offered.key = *key;
    const std::string objection = Objection(*file, kept);
    if (!objection.empty()) {
        ShowMessageBox(objection + msg::kNothingInstalled, msg::kDownloadError, platform::MbOk);
        return std::nullopt;
    }
    if (file->listSize) {
        offered.listBounds.exactLength = file->listSize;
    } else {
        offered.listBounds.maxLength = kMaxUnsizedListSize;
    }
    return offered;
}

bool ListCheckedBeforeLocalListGoes() {
    return true;
}

bool ListAccepted(TFORM_MAIN& form, const OfferedRelease& offered,
                  const std::string& downloadedList) {
    std::string list;
    std::string reason = msg::kSignatureUnreadable;
    if (ReadWholeFile(downloadedList, list) == FileRead::Whole) {
        reason = Reason(CheckSignature(list, offered.signature, offered.key, nullptr));
    }
    if (!reason.empty()) {
        platform::RemoveFileIfPresent(downloadedList);
        Refuse(reason);
        return false;
    }
    if (!KeepWrittenThrough(form.PelmoraPath.Text(), release::kKeptSignatureName,
                            offered.signature)) {
        platform::RemoveFileIfPresent(downloadedList);
        ShowMessageBox(msg::kReleaseNotKept, msg::kUpdateError, platform::MbOk);
        return false;
    }
    return true;
}

std::uint64_t UnsizedFileMaximum() {
    return release::kMaxUnsizedFileSize;
}

bool RowVerifiable(TFORM_MAIN& form, int row) {
    if (StampDigest(form.FileListGrid.Cell(1, row))) {
        return true;
    }
    ShowMessageBox(form.FileListGrid.Cell(0, row) + msg::kNoContentHash, msg::kDownloadError,
                   platform::MbOk);
    return false;
}

bool HashAlwaysChecked() {
    return true;
}

bool RowVerifiableSilently(TFORM_MAIN& form, int row) {
    return StampDigest(form.FileListGrid.Cell(1, row)).has_value();
}

void TellFileMismatch(TFORM_MAIN& form, int row) {
    ShowMessageBox(form.FileListGrid.Cell(0, row) + msg::kFileNotSigned, msg::kDownloadError,
                   platform::MbOk);
}

bool PresentFileKept(TFORM_MAIN& form, int row, const std::string& targetPath) {
    if (MatchesStamp(targetPath, form.FileListGrid.Cell(1, row))) {
        return true;
    }
    platform::RemoveFile(targetPath);
    return false;
}

bool LauncherMatches(TFORM_MAIN& form) {
    const std::string launcher = form.PelmoraPath.Text() + kLauncherName;
    if (!platform::FileExists(launcher)) {
        return true;
    }
    for (int row = 0; row < form.FileListGrid.RowCount(); ++row) {
        if (platform::CompareTextNoCase(form.FileListGrid.Cell(0, row), kLauncherName) == 0) {
            if (MatchesStamp(launcher, form.FileListGrid.Cell(1, row))) {
                return true;
            }
            break;
        }
    }
    ShowMessageBox(msg::kLauncherNotSigned, msg::kError, platform::MbOk);
    return false;
}

} // namespace protection
