// Checks of the protected updater. The list's signature is checked on the exact bytes that
// were downloaded; each fetched file's content hash on the bytes written as they arrived,
// and a file already in place on its bytes read back.
#include "Protection.h"

#include "../app/Main.h"
#include "../app/Messages.h"
#include "../app/Settings.h"
#include "../files/ProgramFiles.h"
#include "../platform/Crypto.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../platform/System.h"
#include "../release/ReleaseFormat.h"
#include "ProtectionMessages.h"
#include "Transfer.h"

#include <vector>

namespace protection {

using release::CheckSignature;
using release::kFetchedSignatureName;
using release::kSignatureName;
using release::ParseSignatureFile;
using release::SignatureFileGenuine;
using release::StampDigest;
using release::Verdict;

namespace {

constexpr std::int64_t kChunk = 1 << 20;

platform::P256PublicKey BuiltInKey() {
    // Checked at configuration; a key that did not parse verifies nothing.
    return release::ParsePublicKey(settings::kReleaseKey).value_or(platform::P256PublicKey{});
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

// The release number of the signature file kept beside the local list; 0 when there is
// none that this key made.
std::uint32_t ReleaseInPlace(const std::string& keptFile) {
    std::string text;
    if (!platform::FileExists(keptFile) || ReadWholeFile(keptFile, text) != FileRead::Whole) {
        return 0;
    }
    auto file = ParseSignatureFile(text);
    return file && SignatureFileGenuine(*file, BuiltInKey()) ? file->release : 0;
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

} // namespace

bool ListAccepted(TFORM_MAIN& form, const std::string& downloadedList) {
    const std::string kept = form.PelmoraPath.Text() + release::kKeptSignatureName;
    const std::string fetched = OwnFolder() + kFetchedSignatureName;
    const std::uint32_t inPlace = ReleaseInPlace(kept);
    platform::RemoveFileIfPresent(fetched);
    const std::string url = form.URLPath.Text() + kSignatureName + CacheBustingQuery(form.Random);
    std::string reason;
    std::string list;
    std::string signature;
    std::uint32_t number = 0;
    if (!platform::DownloadToFile(url, fetched) || !platform::FileExists(fetched)) {
        reason = msg::kSignatureMissing;
    } else if (ReadWholeFile(downloadedList, list) != FileRead::Whole ||
               ReadWholeFile(fetched, signature) != FileRead::Whole) {
        reason = msg::kSignatureUnreadable;
    } else {
        Verdict verdict = CheckSignature(list, signature, BuiltInKey(), &number);
        if (verdict != Verdict::Good) {
            reason = Reason(verdict);
        } else if (number < inPlace) {
            reason = "it is release " + std::to_string(number) + ", older than release " +
                     std::to_string(inPlace) + " already in place";
        }
    }
    if (!reason.empty()) {
        platform::RemoveFileIfPresent(fetched);
        platform::RemoveFileIfPresent(downloadedList);
        Refuse(reason);
        return false;
    }
    // Kept for the next run's replay test. When it cannot be replaced the older number stays,
    // which still refuses anything older than that.
    platform::RemoveFileIfPresent(kept);
    if (!MoveFilePatiently(fetched, kept)) {
        platform::RemoveFileIfPresent(fetched);
    }
    return true;
}

bool HashesDownloads() {
    return true;
}

bool RowVerifiable(TFORM_MAIN& form, int row) {
    if (StampDigest(form.FileListGrid.Cell(1, row))) {
        return true;
    }
    ShowMessageBox(form.FileListGrid.Cell(0, row) + msg::kNoContentHash, msg::kDownloadError,
                   platform::MbOk);
    return false;
}

bool DownloadMatches(TFORM_MAIN& form, int row, const std::string& fetched,
                     const platform::Sha256Digest& digest) {
    auto expected = StampDigest(form.FileListGrid.Cell(1, row));
    if (expected && *expected == digest) {
        return true;
    }
    platform::RemoveFileIfPresent(fetched);
    ShowMessageBox(form.FileListGrid.Cell(0, row) + msg::kFileNotSigned, msg::kDownloadError,
                   platform::MbOk);
    return false;
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
