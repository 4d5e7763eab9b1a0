// The HTTP download through WinINet. Only a final 200 whose whole body arrived counts:
// an error page must never end up in a file that the updater installs.
#include "../Http.h"

#include "Handles.h"

#include <wininet.h>

#include <cstdlib>
#include <vector>

namespace platform {

namespace {

constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr DWORD kBufferSize = 256 * 1024;
constexpr int kMaxRedirects = 10;

struct InternetHandleTraits {
    using Native = HINTERNET;
    static Native Invalid() { return nullptr; }
    static void Close(Native h) { InternetCloseHandle(h); }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;

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

bool CopyBody(HINTERNET request, HANDLE file, long long expected) {
    std::vector<char> buffer(kBufferSize);
    long long total = 0;
    while (true) {
        DWORD got = 0;
        if (!InternetReadFile(request, buffer.data(), kBufferSize, &got)) {
            return false;
        }
        if (got == 0) {
            break;
        }
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) {
            return false;
        }
        total += got;
    }
    return expected < 0 || total == expected;
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

// One GET. The request handle is made before anything is sent, so that its time-outs
// hold for the wait on the answer too (Wine keeps no session-wide receive time-out).
InternetHandle OpenRequest(HINTERNET session, const std::string& url, InternetHandle& connection) {
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
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTP) {
        return InternetHandle();
    }
    connection = InternetHandle(InternetConnectA(session, host, parts.nPort, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return InternetHandle();
    }
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_KEEP_CONNECTION |
                        INTERNET_FLAG_NO_AUTO_REDIRECT;
    std::string target = std::string(path) + extra;
    InternetHandle request(HttpOpenRequestA(connection.get(), "GET", target.c_str(), nullptr,
                                            nullptr, nullptr, flags, 0));
    if (!request) {
        return request;
    }
    SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, kReceiveTimeoutMs);
    SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
    if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        return InternetHandle();
    }
    return request;
}

// Redirects are followed here, a limited number of times: Wine's WinINet would follow a
// redirect loop for ever.
InternetHandle OpenFinal(HINTERNET session, std::string url, InternetHandle& connection) {
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        InternetHandle request = OpenRequest(session, url, connection);
        if (!request) {
            return request;
        }
        DWORD status = StatusCode(request.get());
        if (!IsRedirect(status)) {
            return status == 200 ? std::move(request) : InternetHandle();
        }
        url = RedirectTarget(request.get(), url);
        if (url.empty()) {
            break;
        }
    }
    return InternetHandle();
}

bool Fetch(const std::string& url, const std::string& path) {
    HINTERNET session = Session();
    if (session == nullptr) {
        return false;
    }
    InternetHandle connection;
    InternetHandle request = OpenFinal(session, url, connection);
    if (!request) {
        return false;
    }
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    return CopyBody(request.get(), file.get(), ContentLength(request.get()));
}

} // namespace

bool DownloadToFile(const std::string& url, const std::string& path) {
    if (Fetch(url, path)) {
        return true;
    }
    DeleteFileA(path.c_str());
    return false;
}

} // namespace platform
