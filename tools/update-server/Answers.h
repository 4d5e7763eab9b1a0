// How the update server shapes an answer: whole, cut, chunked, without a length, trickled,
// endless, or written raw on the connection when the fault is in the status line or the
// headers themselves.
#pragma once

#include <httplib.h>

#include <memory>
#include <string>

namespace update_server {

// count bytes of the body from first, with their length; the connection closes once cutAfter
// of them have gone.
void ServeBody(httplib::Response& res, std::shared_ptr<std::string> body, std::size_t first,
               std::size_t count, std::size_t cutAfter);

// Chunked by hand, so that a test can have it cut inside a chunk (cutAfter >= 0) or end
// without the last, empty chunk; the connection closes after it.
void ServeChunked(httplib::Response& res, const std::string& body, long long cutAfter, bool last);

// No length at all: the body ends when the connection closes, whole or after cutAfter bytes.
void ServeWithoutLength(httplib::Response& res, std::shared_ptr<std::string> body,
                        long long cutAfter);

// The length announced, then one byte every interval: never long enough silent for a read
// to time out.
void ServeTrickle(httplib::Response& res, std::shared_ptr<std::string> body, long long intervalMs);

// The length announced (far more than the file), then bytes as fast as they are taken until
// cap bytes have gone, when the connection closes.
void ServeHuge(httplib::Response& res, long long announced, long long cap);

// The status line and headers themselves at fault: written on the request's own connection,
// one byte every intervalMs (then the body), or header lines without end up to cap bytes.
// The library's own answer is then refused by the closed connection. False when the
// connection could not be found.
bool TrickleHeaders(const httplib::Request& req, const std::string& body, long long intervalMs);
bool SendEndlessHeaders(const httplib::Request& req, long long cap);
// The file's length announced and its body chunked as well, the connection closed after a
// first chunk of at most 4 bytes: a body whose end two framings disagree on.
bool SendFramedTwice(const httplib::Request& req, const std::string& body);

} // namespace update_server
