// Fetching a file over http as the updater does: one GET, the body taken only with a final
// 200, a Content-Length and no Content-Encoding, up to 10 redirects. The tool's own small
// client, so that both builds check a server the same way.
#pragma once

#include "Result.h"

#include <cstdint>
#include <functional>
#include <string>

namespace publish {

struct Url {
    std::string host;
    std::string port = "80";
    std::string path; // begins with "/"
};

// An http:// URL; anything else is a usage error.
Result<Url> ParseUrl(const std::string& text);

// The URL of a file below a folder's URL, written as the updater sends it (a blank as %20).
Url Below(const Url& folder, const std::string& path);

// The bytes of a body, piece by piece.
using BodySink = std::function<void(const char* bytes, std::size_t size)>;

struct Fetched {
    int status = 0; // of the last answer
    std::uint64_t length = 0;
};

// GETs the URL and hands the body to sink. A failure names what the updater would refuse:
// a status other than 200 (with the status line), no Content-Length, a Content-Encoding or
// a Transfer-Encoding, a length above limit, a body cut short, too many redirects; a server
// that cannot be reached is an input/output failure.
Result<Fetched> HttpGet(const Url& url, std::uint64_t limit, const BodySink& sink);

// The status of a GET of the URL, the body left unread: 200 when the server hands it out.
Result<int> HttpStatus(const Url& url);

std::string Text(const Url& url);

} // namespace publish
