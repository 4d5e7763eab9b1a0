// The HTTP download.
#pragma once

#include <string>

namespace platform {

// Blocking GET of url into the named file, replacing it. True only when the final answer,
// after redirects, was 200 and the whole body arrived; otherwise no file is left behind.
bool DownloadToFile(const std::string& url, const std::string& path);

} // namespace platform
