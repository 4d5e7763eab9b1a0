// The rules every download is held to, once, above the platform: which answers are taken,
// how many bytes, and whether the drive can take them. The platform reports what came.
#pragma once

#include "../platform/Http.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

// Room a download leaves on the drive it is written to: an answer that announces more than
// the drive's free space less this is refused before a byte is written.
constexpr std::uint64_t kFreeSpaceMargin = 16 << 20;

// What the caller knows of a file before it is fetched: the length its answer must announce,
// and the most it may announce.
struct DownloadBounds {
    std::optional<std::uint64_t> exactLength;
    std::uint64_t maxLength = std::numeric_limits<std::uint64_t>::max();
};

// A part of the file kept from an earlier attempt: its first `have` bytes of `fullLength`,
// still the file the server's `validator` names.
struct ResumeFrom {
    std::uint64_t have = 0;
    std::uint64_t fullLength = 0;
    std::string validator;
};

// What a head allows. Taken: a final 200 with a Content-Length and no Transfer-Encoding (a
// body framed twice cannot be told whole), no Content-Encoding, a length within the bounds
// and the drive's free space less the margin; resuming, also a 206 whose Content-Range
// continues the part at its own end and whose total is the part's full length. A 200 then
// starts over; anything else is refused.
platform::BodyPlan PlanBody(const platform::ResponseHead& head, const DownloadBounds& bounds,
                            std::optional<std::uint64_t> freeBytes,
                            const std::optional<ResumeFrom>& resume = std::nullopt);

// The validator a later attempt may resume against: a strong ETag, else Last-Modified;
// empty when the answer gave neither.
std::string ResumeValidator(const platform::ResponseHead& head);

// The head rule of a download into the file at path, with the drive's free space asked when
// the head is in.
platform::HeadRule RuleFor(const std::string& path, const DownloadBounds& bounds,
                           const std::optional<ResumeFrom>& resume = std::nullopt);

// One whole download into the file, waited for: true only when it completed; otherwise no
// file is left behind. The digest, when asked for, is that of the whole file.
bool FetchFile(const std::string& url, const std::string& path, const DownloadBounds& bounds,
               platform::Sha256Digest* digest = nullptr);
