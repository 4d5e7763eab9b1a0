#include "HttpGet.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace publish {

namespace {

constexpr int kMaxRedirects = 10;
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr int kReadTimeoutSeconds = 30;

#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) {
    closesocket(s);
}
// Winsock is started once for the process.
bool NetworkReady() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}
#else
using Socket = int;
const Socket kNoSocket = -1;
void CloseSocket(Socket s) {
    close(s);
}
bool NetworkReady() {
    return true;
}
#endif

class Connection {
public:
    explicit Connection(Socket s) : socket_(s) {}
    ~Connection() {
        if (socket_ != kNoSocket) {
            CloseSocket(socket_);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const int n =
                send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Up to size bytes; 0 at the end of the stream, below 0 on a failure.
    int Receive(char* into, std::size_t size) {
        return static_cast<int>(recv(socket_, into, static_cast<int>(size), 0));
    }

private:
    Socket socket_;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

Result<std::unique_ptr<Connection>> Connect(const Url& url) {
    if (!NetworkReady()) {
        return IoFailure("the network cannot be used");
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &found) != 0 || found == nullptr) {
        return IoFailure("cannot find the server " + url.host);
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(found, freeaddrinfo);
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        Socket s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == kNoSocket) {
            continue;
        }
        auto connection = std::make_unique<Connection>(s);
#ifdef _WIN32
        DWORD timeout = kReadTimeoutSeconds * 1000;
#else
        timeval timeout{kReadTimeoutSeconds, 0};
#endif
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
            return connection;
        }
    }
    return IoFailure("cannot connect to " + url.host + ":" + url.port);
}

struct Head {
    int status = 0;
    std::string statusLine;
    std::vector<std::pair<std::string, std::string>> fields; // names in lower case
    std::string rest;                                        // body bytes read with the head

    const std::string* Field(const std::string& name) const {
        for (const auto& f : fields) {
            if (f.first == name) {
                return &f.second;
            }
        }
        return nullptr;
    }
};

Result<Head> ReadHead(Connection& c, const Url& url) {
    std::string bytes;
    char buffer[16384];
    std::size_t end;
    while ((end = bytes.find("\r\n\r\n")) == std::string::npos) {
        if (bytes.size() > kMaxHeaderBytes) {
            return Refusal(Text(url) + ": the headers are longer than 64 KB");
        }
        const int n = c.Receive(buffer, sizeof(buffer));
        if (n <= 0) {
            return IoFailure(Text(url) + ": the server closed the connection before its answer");
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    Head head;
    head.rest = bytes.substr(end + 4);
    std::size_t pos = bytes.find("\r\n");
    head.statusLine = bytes.substr(0, pos);
    if (head.statusLine.compare(0, 5, "HTTP/") != 0 || head.statusLine.size() < 12) {
        return Refusal(Text(url) + ": the server's answer is no HTTP answer");
    }
    head.status = std::atoi(head.statusLine.c_str() + head.statusLine.find(' ') + 1);
    while (pos < end) {
        const std::size_t next = bytes.find("\r\n", pos + 2);
        const std::string line = bytes.substr(pos + 2, next - pos - 2);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t") + 1);
            head.fields.emplace_back(Lower(line.substr(0, colon)), value);
        }
        pos = next;
    }
    return head;
}

Result<std::unique_ptr<Connection>> Ask(const Url& url) {
    auto connection = Connect(url);
    if (!connection) {
        return connection;
    }
    const std::string request = "GET " + url.path + " HTTP/1.1\r\nHost: " + url.host +
                                (url.port == "80" ? "" : ":" + url.port) +
                                "\r\nUser-Agent: quorvel-publish\r\nConnection: close\r\n\r\n";
    if (!(*connection)->Send(request)) {
        return IoFailure(Text(url) + ": the request could not be sent");
    }
    return connection;
}

// The connection of one GET and the head of its answer, the body left to read.
struct Answer {
    std::unique_ptr<Connection> connection;
    Head head;
};

Result<Answer> AskForHead(const Url& url) {
    auto connection = Ask(url);
    if (!connection) {
        return connection.failure();
    }
    auto head = ReadHead(**connection, url);
    if (!head) {
        return head.failure();
    }
    return Answer{std::move(*connection), std::move(*head)};
}

// Where a redirect leads: an absolute http URL, or a path on the same server.
Result<Url> Redirected(const Url& from, const std::string& location) {
    if (!location.empty() && location[0] == '/') {
        Url to = from;
        to.path = location;
        return to;
    }
    return ParseUrl(location);
}

} // namespace

std::string Text(const Url& url) {
    return "http://" + url.host + (url.port == "80" ? "" : ":" + url.port) + url.path;
}

Result<Url> ParseUrl(const std::string& text) {
    const std::string scheme = "http://";
    if (Lower(text.substr(0, scheme.size())) != scheme) {
        return Failure{Fault::Usage, "\"" + text +
                                         "\" is no http:// URL (this tool fetches over http "
                                         "only; check an https server's folder locally)"};
    }
    Url url;
    const std::string rest = text.substr(scheme.size());
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    url.path = slash == std::string::npos ? "/" : rest.substr(slash);
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']') == std::string::npos) {
        url.port = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
    }
    if (authority.size() > 2 && authority.front() == '[' && authority.back() == ']') {
        authority = authority.substr(1, authority.size() - 2);
    }
    if (authority.empty() || url.port.empty() ||
        url.port.find_first_not_of("0123456789") != std::string::npos) {
        return Failure{Fault::Usage, "\"" + text + "\" names no server"};
    }
    url.host = authority;
    return url;
}

Url Below(const Url& folder, const std::string& path) {
    Url url = folder;
    if (url.path.empty() || url.path.back() != '/') {
        url.path += '/';
    }
    for (char c : path) {
        url.path += c == ' ' ? std::string("%20") : std::string(1, c);
    }
    return url;
}

Result<Fetched> HttpGet(const Url& start, std::uint64_t limit, const BodySink& sink) {
    Url url = start;
    for (int redirects = 0;; ++redirects) {
        auto answer = AskForHead(url);
        if (!answer) {
            return answer.failure();
        }
        const Head* head = &answer->head;
        const std::unique_ptr<Connection>& connection = answer->connection;
        const std::string* location = head->Field("location");
        if (head->status >= 300 && head->status < 400 && location != nullptr) {
            if (redirects == kMaxRedirects) {
                return Refusal(Text(start) + ": more than 10 redirects");
            }
            auto next = Redirected(url, *location);
            if (!next) {
                return Refusal(Text(url) + ": a redirect to " + *location +
                               ", which this tool cannot follow");
            }
            url = *next;
            continue;
        }
        if (head->status != 200) {
            return Refusal(Text(url) + ": the server answers \"" + head->statusLine.substr(9) +
                           "\", not 200 OK");
        }
        if (const std::string* encoding = head->Field("content-encoding")) {
            return Refusal(Text(url) + ": the body comes with Content-Encoding " + *encoding +
                           ", which the updater refuses");
        }
        if (head->Field("transfer-encoding") != nullptr) {
            return Refusal(Text(url) + ": the body comes with Transfer-Encoding beside its "
                                       "length, which the updater refuses");
        }
        const std::string* length = head->Field("content-length");
        if (length == nullptr || length->empty() ||
            length->find_first_not_of("0123456789") != std::string::npos || length->size() > 19) {
            return Refusal(Text(url) +
                           ": the body has no Content-Length, which the updater refuses");
        }
        Fetched fetched{head->status, std::stoull(*length)};
        if (fetched.length > limit) {
            return Refusal(Text(url) + ": the server announces " + std::to_string(fetched.length) +
                           " bytes, more than the " + std::to_string(limit) + " expected");
        }
        std::uint64_t got = std::min<std::uint64_t>(head->rest.size(), fetched.length);
        sink(head->rest.data(), static_cast<std::size_t>(got));
        std::vector<char> buffer(1 << 16);
        while (got < fetched.length) {
            const int n = connection->Receive(buffer.data(), buffer.size());
            if (n <= 0) {
                return IoFailure(Text(url) + ": the body was cut short after " +
                                 std::to_string(got) + " of " + std::to_string(fetched.length) +
                                 " bytes");
            }
            const auto take =
                std::min<std::uint64_t>(static_cast<std::uint64_t>(n), fetched.length - got);
            sink(buffer.data(), static_cast<std::size_t>(take));
            got += take;
        }
        return fetched;
    }
}

Result<int> HttpStatus(const Url& url) {
    auto answer = AskForHead(url);
    if (!answer) {
        return answer.failure();
    }
    return answer->head.status;
}

} // namespace publish
