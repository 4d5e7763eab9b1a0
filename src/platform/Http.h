// The HTTP download.
#pragma once

#include "Crypto.h"

#include <string>

namespace platform {

// Redirects followed for one download; one more is refused.
constexpr int kMaxRedirects = 10;

// Blocking GET of url into the named file, replacing it. True only when the final answer,
// after at most kMaxRedirects redirects (never from https back to http), was 200 with a
// Content-Length, no content encoding, and the whole body arrived at no less than the
// minimum rate and was flushed to disk; otherwise no file is left behind. Given a digest, it
// also receives the SHA-256 of the body written, computed while the bytes arrive so that a
// file that must be checked is not read back; it is set only on true.
bool DownloadToFile(const std::string& url, const std::string& path,
                    Sha256Digest* digest = nullptr);

} // namespace platform
