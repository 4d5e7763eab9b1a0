// The HTTP download.
#pragma once

#include "Crypto.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace platform {

// Redirects followed for one download; one more is refused.
constexpr int kMaxRedirects = 10;
// The most an answer's status line and headers may take.
constexpr std::uint64_t kMaxHeaderBytes = 64 * 1024;
// Room a download leaves on the drive it is written to: an answer that announces more than
// the drive's free space less this is refused before a byte is written.
constexpr std::uint64_t kFreeSpaceMargin = 16 << 20;

// What the caller knows of a file before it is fetched: the length its answer must announce,
// and the most it may announce.
struct DownloadBounds {
    std::optional<std::uint64_t> exactLength;
    std::uint64_t maxLength = std::numeric_limits<std::uint64_t>::max();
};

// Blocking GET of url into the named file, replacing it. True only when the final answer,
// after at most kMaxRedirects redirects (never from https back to http), was 200 with a
// Content-Length within the bounds and the drive's free space, headers of at most
// kMaxHeaderBytes, no content encoding, and the whole body arrived (and no more) at no less
// than the minimum rate, counted from the request's start, and was flushed to disk;
// otherwise no file is left behind, and a refused transfer ends at once, whatever is left of
// it on the wire. Given a digest, it also receives the SHA-256 of the body written, computed
// while the bytes arrive so that a file that must be checked is not read back; it is set
// only on true.
bool DownloadToFile(const std::string& url, const std::string& path, Sha256Digest* digest = nullptr,
                    const DownloadBounds& bounds = {});

} // namespace platform
