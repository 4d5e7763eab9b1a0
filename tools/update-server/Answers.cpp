#include "Answers.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

namespace update_server {

namespace {

constexpr std::size_t kPiece = 256 * 1024;

// The port of a socket's address, local or peer's.
int PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return -1;
}

// The library does not hand a handler its connection: it is found among the process's
// descriptors by its two ports.
int ConnectionOf(const httplib::Request& req) {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) {
        return -1;
    }
    int found = -1;
    while (dirent* entry = readdir(folder)) {
        int fd = std::atoi(entry->d_name);
        sockaddr_storage local{}, peer{};
        socklen_t localSize = sizeof(local), peerSize = sizeof(peer);
        if (entry->d_name[0] == '.' ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
            continue;
        }
        if (PortOf(local) == req.local_port && PortOf(peer) == req.remote_port) {
            found = fd;
            break;
        }
    }
    closedir(folder);
    return found;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

} // namespace

void ServeBody(httplib::Response& res, std::shared_ptr<std::string> body, std::size_t first,
               std::size_t count, std::size_t cutAfter) {
    res.set_content_provider(
        count, "application/octet-stream",
        [body, first, count, cutAfter](std::size_t offset, std::size_t length,
                                       httplib::DataSink& sink) {
            if (offset >= cutAfter) {
                return false; // the connection closes with the body short
            }
            std::size_t n = std::min({length, count - offset, cutAfter - offset, kPiece});
            sink.write(body->data() + first + offset, n);
            return true;
        });
}

void ServeChunked(httplib::Response& res, const std::string& body, long long cutAfter, bool last) {
    std::string framed;
    const std::size_t chunk = 4096;
    std::size_t cut = cutAfter < 0 ? body.size() : static_cast<std::size_t>(cutAfter);
    for (std::size_t offset = 0; offset < body.size(); offset += chunk) {
        std::size_t n = std::min(chunk, body.size() - offset);
        char size[32];
        std::snprintf(size, sizeof(size), "%zx\r\n", n);
        framed += size;
        if (offset + n > cut) {
            framed.append(body, offset, cut - offset); // inside this chunk
            last = false;
            break;
        }
        framed.append(body, offset, n);
        framed += "\r\n";
    }
    if (last) {
        framed += "0\r\n\r\n";
    }
    res.set_header("Transfer-Encoding", "chunked");
    res.set_content_provider("application/octet-stream",
                             [framed](std::size_t, httplib::DataSink& sink) {
                                 sink.write(framed.data(), framed.size());
                                 return false; // closes the connection
                             });
}

void ServeWithoutLength(httplib::Response& res, std::shared_ptr<std::string> body,
                        long long cutAfter) {
    std::size_t n =
        cutAfter < 0 ? body->size() : std::min(body->size(), static_cast<std::size_t>(cutAfter));
    res.set_header("Connection", "close");
    res.set_content_provider("application/octet-stream",
                             [body, n](std::size_t, httplib::DataSink& sink) {
                                 sink.write(body->data(), n);
                                 return false;
                             });
}

void ServeTrickle(httplib::Response& res, std::shared_ptr<std::string> body, long long intervalMs) {
    res.set_content_provider(
        body->size(), "application/octet-stream",
        [body, intervalMs](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(intervalMs, 1LL)));
            return sink.is_writable() && sink.write(body->data() + offset, 1);
        });
}

void ServeHuge(httplib::Response& res, long long announced, long long cap) {
    auto piece = std::make_shared<std::string>(kPiece, 'x');
    res.set_content_provider(
        static_cast<std::size_t>(announced), "application/octet-stream",
        [piece, cap](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (static_cast<long long>(offset) >= cap) {
                return false; // the cap reached: the connection closes
            }
            std::size_t n =
                std::min({length, piece->size(), static_cast<std::size_t>(cap) - offset});
            return sink.write(piece->data(), n);
        });
}

bool TrickleHeaders(const httplib::Request& req, const std::string& body, long long intervalMs) {
    int fd = ConnectionOf(req);
    if (fd < 0) {
        return false;
    }
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             "Content-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n";
    bool open = true;
    for (std::size_t i = 0; open && i < head.size(); ++i) {
        open = SendAll(fd, &head[i], 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(intervalMs, 1LL)));
    }
    if (open) {
        SendAll(fd, body.data(), body.size());
    }
    shutdown(fd, SHUT_RDWR);
    return true;
}

bool SendFramedTwice(const httplib::Request& req, const std::string& body) {
    int fd = ConnectionOf(req);
    if (fd < 0) {
        return false;
    }
    const std::string first = body.substr(0, 4);
    std::ostringstream answer;
    answer << "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
           << body.size() << "\r\nTransfer-Encoding: chunked\r\n\r\n"
           << std::hex << first.size() << "\r\n"
           << first << "\r\n";
    const std::string text = answer.str();
    SendAll(fd, text.data(), text.size());
    shutdown(fd, SHUT_RDWR);
    return true;
}

bool SendEndlessHeaders(const httplib::Request& req, long long cap) {
    int fd = ConnectionOf(req);
    if (fd < 0) {
        return false;
    }
    const std::string status = "HTTP/1.1 200 OK\r\n";
    std::string lines;
    while (lines.size() < kPiece) {
        lines += "X-Padding: " + std::string(100, 'x') + "\r\n";
    }
    long long sent = 0;
    for (bool open = SendAll(fd, status.data(), status.size()); open && sent < cap;
         open = SendAll(fd, lines.data(), lines.size())) {
        sent += static_cast<long long>(lines.size());
    }
    shutdown(fd, SHUT_RDWR);
    return true;
}

} // namespace update_server
