// The HTTP download through WinINet. Only a final 200 whose whole body arrived counts:
// an error page, a cut body or still-encoded bytes must never end up in a file that the
// updater installs.
#include "../Http.h"

#include "../RateWatch.h"
#include "Connections.h"
#include "Handles.h"

#include <wininet.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace platform {

namespace {

constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr DWORD kBufferSize = 256 * 1024;
// A refused answer whose body is no larger than this is left to WinINet to read to its end,
// so that the connection is kept; a larger or unknown one has its connection cut.
constexpr long long kSmallBody = 64 * 1024;

struct InternetHandleTraits {
    using Native = HINTERNET;
    static Native Invalid() { return nullptr; }
    static void Close(Native h) { InternetCloseHandle(h); }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;

// The last error of a failed call; never "success", so that a failure is never taken for one.
DWORD Reason() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_INTERNET_INTERNAL_ERROR;
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds) {
    InternetSetOptionA(handle, option, &milliseconds, sizeof(milliseconds));
}

// One session for the life of the program, so connections to the server are reused.
HINTERNET Session() {
    static InternetHandle session = [] {
        InternetHandle h(
            InternetOpenA("Quorvel", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (h) {
            SetTimeout(h.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
            SetTimeout(h.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
            SetTimeout(h.get(), INTERNET_OPTION_SEND_TIMEOUT, kReceiveTimeoutMs);
            SetTimeout(h.get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
        }
        return h;
    }();
    return session.get();
}

DWORD StatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        return 0;
    }
    return status;
}

// The announced body length, or -1 when none was sent.
long long ContentLength(HINTERNET request) {
    char text[32] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
        return -1;
    }
    char* end = nullptr;
    long long length = std::strtoll(text, &end, 10);
    return end == text || length < 0 ? -1 : length;
}

// True when the body is sent as it is stored. Under Wine, WinINet hands over gzip or
// deflate data as it came unless told to decode it.
bool IdentityEncoded(HINTERNET request) {
    char text[64] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_ENCODING, text, &size, nullptr)) {
        return true;
    }
    return lstrcmpiA(text, "identity") == 0;
}

// The body into the file, all of it or failure: WinINet under Wine ends a cut chunked
// stream with success, so only a body whose length was announced and arrived counts. With a
// digest asked for, each piece is hashed as it is written; the file is never read back.
DWORD CopyBody(HINTERNET request, HANDLE file, long long expected, Sha256Digest* digest,
               ULONGLONG startMs) {
    std::vector<char> buffer(kBufferSize);
    std::optional<Sha256> hash;
    if (digest != nullptr) {
        hash.emplace();
    }
    long long total = 0;
    RateWatch rate(startMs);
    while (true) {
        // Wine's InternetReadFile waits until the buffer is full or the body ends, however
        // slowly the bytes come; asked for what has arrived, each read returns as it comes,
        // so the rate is seen.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            return Reason();
        }
        DWORD got = 0;
        if (available > 0 &&
            !InternetReadFile(request, buffer.data(),
                              available < kBufferSize ? available : kBufferSize, &got)) {
            return Reason();
        }
        if (got == 0) {
            break;
        }
        // Not a byte beyond the announced length reaches the file.
        if (total + got > expected) {
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        }
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) {
            return Reason();
        }
        if (hash) {
            hash->Update(buffer.data(), got);
        }
        total += got;
        if (!rate.Progress(static_cast<std::uint64_t>(total), GetTickCount64())) {
            return ERROR_INTERNET_TIMEOUT;
        }
    }
    if (total != expected) {
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }
    // Reported as downloaded only once it is on the disk.
    if (!FlushFileBuffers(file)) {
        return Reason();
    }
    if (hash) {
        std::optional<Sha256Digest> done = hash->Finish();
        if (!done) {
            return ERROR_INTERNAL_ERROR;
        }
        *digest = *done;
    }
    return ERROR_SUCCESS;
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The absolute URL a redirect points to, or empty.
std::string RedirectTarget(HINTERNET request, const std::string& from) {
    std::vector<char> location(4096);
    DWORD size = static_cast<DWORD>(location.size() - 1);
    if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) {
        return std::string();
    }
    std::vector<char> combined(8192);
    DWORD length = static_cast<DWORD>(combined.size());
    if (!InternetCombineUrlA(from.c_str(), location.data(), combined.data(), &length,
                             ICU_NO_ENCODE)) {
        return std::string();
    }
    return std::string(combined.data(), length);
}

// The request sent and its status line and headers read, within the minimum rate's window
// from the request's start (a server that trickles its headers never lets a read time out)
// and within kMaxHeaderBytes.
bool SendWatched(HINTERNET request, ULONGLONG startMs) {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG used = now > startMs ? now - startMs : 0;
    HeaderWatch watch(used < kRateWindowMs ? kRateWindowMs - used : 0);
    const BOOL sent = HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    if (watch.Tripped()) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return false;
    }
    if (!sent) {
        return false;
    }
    DWORD size = 0;
    HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
    if (size > kMaxHeaderBytes) {
        CutConnections();
        SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        return false;
    }
    return true;
}

// A request with the connection it was made on. The request is closed before its connection:
// members are destroyed in the reverse order of their declaration.
struct OpenedRequest {
    InternetHandle connection;
    InternetHandle request;

    explicit operator bool() const { return static_cast<bool>(request); }
    HINTERNET get() const { return request.get(); }
};

// One GET. The request handle is made before anything is sent, so that its time-outs
// hold for the wait on the answer too (Wine keeps no session-wide receive time-out).
OpenedRequest OpenRequest(HINTERNET session, const std::string& url, ULONGLONG startMs) {
    char host[256] = {};
    char path[4096] = {};
    char extra[4096] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof(extra);
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) {
        return OpenedRequest{};
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return OpenedRequest{};
    }
    OpenedRequest opened;
    opened.connection = InternetHandle(InternetConnectA(session, host, parts.nPort, nullptr,
                                                        nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!opened.connection) {
        return OpenedRequest{};
    }
    // No flag that ignores a certificate error: a server that cannot prove who it is
    // serves nothing.
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
    const DWORD flags = secure | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_KEEP_CONNECTION |
                        INTERNET_FLAG_NO_AUTO_REDIRECT;
    std::string target = std::string(path) + extra;
    opened.request = InternetHandle(HttpOpenRequestA(opened.connection.get(), "GET", target.c_str(),
                                                     nullptr, nullptr, nullptr, flags, 0));
    if (!opened.request) {
        return OpenedRequest{};
    }
    SetTimeout(opened.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    SetTimeout(opened.get(), INTERNET_OPTION_SEND_TIMEOUT, kReceiveTimeoutMs);
    SetTimeout(opened.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
    if (!SendWatched(opened.get(), startMs)) {
        return OpenedRequest{};
    }
    return opened;
}

// An answer that will not be read: its connection is cut unless its body is small enough to
// be read to its end when the request closes.
void LetGo(HINTERNET request) {
    const long long length = ContentLength(request);
    if (length < 0 || length > kSmallBody) {
        CutConnections();
    }
}

bool IsHttps(const std::string& url) {
    const char scheme[] = "https://";
    for (std::size_t i = 0; i + 1 < sizeof(scheme); ++i) {
        if (i >= url.size() || (url[i] | 0x20) != scheme[i]) {
            return false;
        }
    }
    return true;
}

// Redirects are followed here, a limited number of times: Wine's WinINet would follow a
// redirect loop for ever. One from https back to plain http is refused: what was asked
// for over a secure channel must not come over an open one.
OpenedRequest OpenFinal(HINTERNET session, std::string url, ULONGLONG startMs) {
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        OpenedRequest request = OpenRequest(session, url, startMs);
        if (!request) {
            return request;
        }
        DWORD status = StatusCode(request.get());
        if (!IsRedirect(status)) {
            if (status == 200) {
                return request;
            }
            LetGo(request.get());
            SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
            return OpenedRequest{};
        }
        LetGo(request.get());
        std::string next = RedirectTarget(request.get(), url);
        if (next.empty() || (IsHttps(url) && !IsHttps(next))) {
            break;
        }
        url = next;
    }
    SetLastError(ERROR_HTTP_REDIRECT_FAILED);
    return OpenedRequest{};
}

// Free bytes for the caller on the drive of the file's folder; nothing when unknown.
std::optional<ULONGLONG> FreeBytes(const std::string& path) {
    const std::string folder = path.substr(0, path.find_last_of('\\') + 1);
    ULARGE_INTEGER available{};
    if (folder.empty() || !GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

// Whether the announced length is one the caller and the drive can take.
bool LengthAccepted(long long length, const DownloadBounds& bounds, const std::string& path) {
    const auto announced = static_cast<std::uint64_t>(length);
    if (announced > bounds.maxLength || (bounds.exactLength && announced != *bounds.exactLength)) {
        return false;
    }
    const std::optional<ULONGLONG> free = FreeBytes(path);
    return !free || (*free > kFreeSpaceMargin && announced <= *free - kFreeSpaceMargin);
}

// The body of an accepted answer into the file; ERROR_SUCCESS or why not.
DWORD Receive(HINTERNET request, const std::string& path, const DownloadBounds& bounds,
              Sha256Digest* digest, ULONGLONG startMs) {
    const long long length = ContentLength(request);
    if (length < 0 || !IdentityEncoded(request) || !LengthAccepted(length, bounds, path)) {
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return Reason();
    }
    return CopyBody(request, file.get(), length, digest, startMs);
}

// ERROR_SUCCESS, or why the download failed.
DWORD Fetch(const std::string& url, const std::string& path, Sha256Digest* digest,
            const DownloadBounds& bounds) {
    const ULONGLONG startMs = GetTickCount64();
    HINTERNET session = Session();
    if (session == nullptr) {
        return Reason();
    }
    OpenedRequest request = OpenFinal(session, url, startMs);
    if (!request) {
        return Reason();
    }
    const DWORD error = Receive(request.get(), path, bounds, digest, startMs);
    // A body refused part-way is not read to its end when the request closes.
    if (error != ERROR_SUCCESS) {
        CutConnections();
    }
    return error;
}

} // namespace

bool DownloadToFile(const std::string& url, const std::string& path, Sha256Digest* digest,
                    const DownloadBounds& bounds) {
    const DWORD error = Fetch(url, path, digest, bounds);
    if (error == ERROR_SUCCESS) {
        return true;
    }
    // The caller may ask why; the clean-up must not answer in the download's place.
    DeleteFileA(path.c_str());
    SetLastError(error);
    return false;
}

} // namespace platform
