#include "Fetch.h"

#include "../platform/Files.h"
#include "../platform/System.h"

using platform::BodyPlan;
using platform::ResponseHead;

namespace {

bool Identity(const ResponseHead& head) {
    return head.contentEncoding.empty() ||
           platform::CompareTextNoCase(head.contentEncoding, "identity") == 0;
}

bool Fits(std::uint64_t length, std::optional<std::uint64_t> freeBytes) {
    return !freeBytes || (*freeBytes > kFreeSpaceMargin && length <= *freeBytes - kFreeSpaceMargin);
}

bool WithinBounds(std::uint64_t fullLength, const DownloadBounds& bounds) {
    return fullLength <= bounds.maxLength &&
           (!bounds.exactLength || fullLength == *bounds.exactLength);
}

// A 206 that continues the part: from its own end to the last byte of the full length kept.
bool Continues(const ResponseHead& head, const ResumeFrom& resume) {
    return head.range && head.range->first == resume.have &&
           head.range->last + 1 == resume.fullLength && head.range->total == resume.fullLength &&
           *head.length == resume.fullLength - resume.have;
}

} // namespace

BodyPlan PlanBody(const ResponseHead& head, const DownloadBounds& bounds,
                  std::optional<std::uint64_t> freeBytes, const std::optional<ResumeFrom>& resume) {
    if (!head.length || head.transferEncoded || !Identity(head)) {
        return BodyPlan{};
    }
    const std::uint64_t length = *head.length;
    if (head.status == 200 && WithinBounds(length, bounds) && Fits(length, freeBytes)) {
        return BodyPlan{BodyPlan::Use::Replace, length, 0};
    }
    if (head.status == 206 && resume && Continues(head, *resume) &&
        WithinBounds(resume->fullLength, bounds) && Fits(length, freeBytes)) {
        return BodyPlan{BodyPlan::Use::Append, length, resume->have};
    }
    return BodyPlan{};
}

std::string ResumeValidator(const ResponseHead& head) {
    const bool weak = head.etag.size() >= 2 && (head.etag[0] == 'W' || head.etag[0] == 'w') &&
                      head.etag[1] == '/';
    if (!head.etag.empty() && !weak) {
        return head.etag;
    }
    return head.lastModified;
}

platform::HeadRule RuleFor(const std::string& path, const DownloadBounds& bounds,
                           const std::optional<ResumeFrom>& resume) {
    const std::string folder = path.substr(0, path.find_last_of('\\') + 1);
    return [folder, bounds, resume](const ResponseHead& head) {
        return PlanBody(head, bounds, platform::FreeBytes(folder), resume);
    };
}

bool FetchFile(const std::string& url, const std::string& path, const DownloadBounds& bounds,
               platform::Sha256Digest* digest) {
    platform::Transfer transfer({url, path, 0, std::string(), digest != nullptr},
                                RuleFor(path, bounds));
    const platform::TransferReport& report = transfer.Wait();
    if (report.end != platform::TransferEnd::Complete) {
        platform::RemoveFileIfPresent(path);
        return false;
    }
    if (digest != nullptr) {
        *digest = *report.digest;
    }
    return true;
}
