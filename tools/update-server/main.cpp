// The update server for tests and the demo: serves a release folder under the update base
// path on a loopback address, logs every request, and injects faults on request.
//
//   update-server --root DIR [--bind 127.0.0.1] [--port N] [--port-file F] [--log F]
//                 [--faults F] [--max-seconds S] [--tls-cert PEM --tls-key PEM]
//
// With a certificate and its key it serves https instead of http.
// Port 0 (the default) takes a free port; --port-file receives the port taken.
// The server stops by itself after --max-seconds (default 3600).
#include "Faults.h"
#include "release/Names.h"

#include <httplib.h>
#include <netinet/tcp.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using update_server::Fault;

namespace {

const std::string kBasePath = release::kUpdateBasePath;

struct Options {
    std::string root;
    std::string bind = "127.0.0.1";
    int port = 0;
    std::string portFile;
    std::string log;
    std::string faults;
    long maxSeconds = 3600;
    std::string tlsCert;
    std::string tlsKey;
};

bool IsLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" || address == "localhost";
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        std::string value = argv[i + 1];
        if (key == "--root") {
            options.root = value;
        } else if (key == "--bind") {
            options.bind = value;
        } else if (key == "--port") {
            options.port = std::stoi(value);
        } else if (key == "--port-file") {
            options.portFile = value;
        } else if (key == "--log") {
            options.log = value;
        } else if (key == "--faults") {
            options.faults = value;
        } else if (key == "--max-seconds") {
            options.maxSeconds = std::stol(value);
        } else if (key == "--tls-cert") {
            options.tlsCert = value;
        } else if (key == "--tls-key") {
            options.tlsKey = value;
        } else {
            std::cerr << "update-server: unknown option " << key << "\n";
            return false;
        }
    }
    if (argc % 2 == 0 || options.root.empty() ||
        options.tlsCert.empty() != options.tlsKey.empty()) {
        std::cerr << "update-server: usage: update-server --root DIR [--bind ADDR] [--port N] "
                     "[--port-file F] [--log F] [--faults F] [--max-seconds S] "
                     "[--tls-cert PEM --tls-key PEM]\n";
        return false;
    }
    if (!IsLoopback(options.bind)) {
        std::cerr << "update-server: refusing to bind to " << options.bind
                  << ": loopback addresses only\n";
        return false;
    }
    return true;
}

class RequestLog {
public:
    explicit RequestLog(const std::string& file) {
        if (!file.empty()) {
            out_.open(file, std::ios::app);
        }
    }
    void Write(const httplib::Request& req, int status, std::size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!out_) {
            return;
        }
        std::string query;
        for (const auto& [key, value] : req.params) {
            query += (query.empty() ? "?" : "&") + key + "=" + value;
        }
        out_ << req.method << " " << req.path << query << " " << status << " " << bytes
             << std::endl;
    }

private:
    std::mutex mutex_;
    std::ofstream out_;
};

// The file a request path names inside the release folder; nothing when it leaves it.
std::optional<fs::path> Resolve(const fs::path& root, const std::string& relative) {
    std::error_code error;
    fs::path candidate = fs::weakly_canonical(root / fs::path(relative), error);
    if (error) {
        return std::nullopt;
    }
    auto rootText = root.string();
    auto text = candidate.string();
    if (text.compare(0, rootText.size(), rootText) != 0 ||
        (text.size() > rootText.size() && text[rootText.size()] != '/')) {
        return std::nullopt;
    }
    return candidate;
}

void ServeBody(httplib::Response& res, std::shared_ptr<std::string> body, std::size_t cutAfter) {
    res.set_content_provider(
        body->size(), "application/octet-stream",
        [body, cutAfter](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset >= cutAfter) {
                return false; // the connection closes with the body short
            }
            std::size_t n = std::min(
                {length, body->size() - offset, cutAfter - offset, std::size_t{256 * 1024}});
            sink.write(body->data() + offset, n);
            return true;
        });
}

// Chunked by hand, so that a test can have it cut inside a chunk or end without the last,
// empty chunk; the connection closes after it.
void ServeChunked(httplib::Response& res, const std::string& body, long cutAfter, bool last) {
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

// No length at all: the body ends when the connection closes, whole or early.
void ServeWithoutLength(httplib::Response& res, std::shared_ptr<std::string> body, long cutAfter) {
    std::size_t n =
        cutAfter < 0 ? body->size() : std::min(body->size(), static_cast<std::size_t>(cutAfter));
    res.set_header("Connection", "close");
    res.set_content_provider("application/octet-stream",
                             [body, n](std::size_t, httplib::DataSink& sink) {
                                 sink.write(body->data(), n);
                                 return false;
                             });
}

// The length announced, then one byte every interval: never long enough silent for a read
// to time out.
void ServeTrickle(httplib::Response& res, std::shared_ptr<std::string> body, long intervalMs) {
    res.set_content_provider(
        body->size(), "application/octet-stream",
        [body, intervalMs](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(intervalMs, 1L)));
            return sink.is_writable() && sink.write(body->data() + offset, 1);
        });
}

// One read of the whole file: the server's own time must not weigh on the clients measured.
std::shared_ptr<std::string> ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    auto body = std::make_shared<std::string>();
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (size > 0) {
        body->resize(static_cast<std::size_t>(size));
        in.seekg(0);
        in.read(body->data(), size);
        body->resize(static_cast<std::size_t>(in.gcount()));
    }
    return body;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        if (!ParseOptions(argc, argv, options)) {
            return 2;
        }
    } catch (const std::exception&) {
        std::cerr << "update-server: a number was expected\n";
        return 2;
    }
    std::error_code error;
    fs::path root = fs::canonical(options.root, error);
    if (error || !fs::is_directory(root)) {
        std::cerr << "update-server: no release folder at " << options.root << "\n";
        return 2;
    }
    update_server::FaultTable faults(options.faults);
    RequestLog log(options.log);
    std::unique_ptr<httplib::Server> owned =
        options.tlsCert.empty()
            ? std::make_unique<httplib::Server>()
            : std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
    if (!owned->is_valid()) {
        std::cerr << "update-server: cannot use the certificate " << options.tlsCert << "\n";
        return 2;
    }
    httplib::Server& server = *owned;
    // As many requests a connection as the common web servers allow, not the library's 5:
    // clients that reuse connections are measured doing so.
    server.set_keep_alive_max_count(100);
    // Without the library's SO_REUSEPORT: a second server on a port already served must fail
    // to start, not silently share the port and answer half the requests from another
    // release.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
                   sizeof(yes));
        // Inherited by every connection: a small answer goes out at once instead of waiting
        // for the client's delayed acknowledgement (40 ms a request on Linux).
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                   sizeof(yes));
    });

    server.Get(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.path.rfind(kBasePath, 0) != 0) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            log.Write(req, res.status, res.body.size());
            return;
        }
        std::string relative = req.path.substr(kBasePath.size());
        std::optional<Fault> fault = faults.For(relative);
        std::size_t cutAfter = std::string::npos;
        if (fault) {
            switch (fault->kind) {
            case Fault::Kind::Status:
                res.status = static_cast<int>(fault->number);
                res.set_content("<html>injected error page</html>", "text/html");
                log.Write(req, res.status, res.body.size());
                return;
            case Fault::Kind::Redirect:
                res.set_redirect(fault->location);
                log.Write(req, res.status, 0);
                return;
            case Fault::Kind::Stall:
                std::this_thread::sleep_for(std::chrono::seconds(std::min(fault->number, 600L)));
                break;
            case Fault::Kind::Cut:
                cutAfter = static_cast<std::size_t>(std::max(fault->number, 0L));
                break;
            case Fault::Kind::Drop:
                cutAfter = 0;
                break;
            case Fault::Kind::Chunked:
            case Fault::Kind::ChunkedNoLast:
            case Fault::Kind::NoLength:
            case Fault::Kind::Encoding:
            case Fault::Kind::Trickle:
                break; // shaped below, once the body is read
            }
        }
        auto file = Resolve(root, relative);
        if (!file) {
            res.status = 403;
            res.set_content("outside the release folder", "text/plain");
            log.Write(req, res.status, res.body.size());
            return;
        }
        if (!fs::is_regular_file(*file)) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            log.Write(req, res.status, res.body.size());
            return;
        }
        auto body = ReadWhole(*file);
        if (fault && fault->kind == Fault::Kind::Chunked) {
            log.Write(req, 200, body->size());
            ServeChunked(res, *body, fault->number, true);
            return;
        }
        if (fault && fault->kind == Fault::Kind::ChunkedNoLast) {
            log.Write(req, 200, body->size());
            ServeChunked(res, *body, -1, false);
            return;
        }
        if (fault && fault->kind == Fault::Kind::NoLength) {
            log.Write(req, 200, body->size());
            ServeWithoutLength(res, body, fault->number);
            return;
        }
        if (fault && fault->kind == Fault::Kind::Trickle && !body->empty()) {
            log.Write(req, 200, body->size());
            ServeTrickle(res, body, fault->number);
            return;
        }
        if (fault && fault->kind == Fault::Kind::Encoding) {
            res.set_header("Content-Encoding", fault->location);
        }
        log.Write(req, 200, std::min(body->size(), cutAfter));
        if (body->empty()) {
            // The library's content provider never finishes a body of no bytes.
            res.set_content(std::string(), "application/octet-stream");
            return;
        }
        ServeBody(res, body, cutAfter);
    });

    int port = options.port == 0
                   ? server.bind_to_any_port(options.bind)
                   : (server.bind_to_port(options.bind, options.port) ? options.port : -1);
    if (port <= 0) {
        std::cerr << "update-server: cannot listen on " << options.bind << ":" << options.port
                  << "\n";
        return 1;
    }
    if (!options.portFile.empty()) {
        std::string temporary = options.portFile + ".tmp";
        std::ofstream(temporary) << port << "\n";
        fs::rename(temporary, options.portFile, error);
    }
    std::atomic<bool> stopped{false};
    std::thread watchdog([&] {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.maxSeconds);
        while (!stopped && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        server.stop();
    });
    std::cout << "update-server: serving " << root << " on "
              << (options.tlsCert.empty() ? "http://" : "https://") << options.bind << ":" << port
              << kBasePath << std::endl;
    server.listen_after_bind();
    stopped = true;
    watchdog.join();
    return 0;
}
