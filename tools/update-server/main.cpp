// The update server for tests and the demo: serves a release folder under the update base
// path on a loopback address, logs every request, and injects faults on request. With a
// certificate and its key it serves https instead of http. See --help.
#include "Answers.h"
#include "Faults.h"
#include "Options.h"
#include "Ranges.h"
#include "release/Names.h"

#include <httplib.h>
#include <netinet/tcp.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using update_server::Fault;

namespace {

const std::string kBasePath = release::kUpdateBasePath;

class RequestLog {
public:
    // False when the file cannot be opened for appending.
    bool Open(const std::string& file) {
        out_.open(file, std::ios::app);
        return static_cast<bool>(out_);
    }
    void Write(const httplib::Request& req, int status, std::size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!out_.is_open()) {
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

// What every request is answered from.
struct Site {
    fs::path root;
    update_server::FaultTable faults;
    RequestLog log;
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

void Refuse(Site& site, const httplib::Request& req, httplib::Response& res, int status,
            const std::string& text) {
    res.status = status;
    res.set_content(text, "text/plain");
    site.log.Write(req, res.status, res.body.size());
}

// Faults answered without the file. True when the answer is made.
bool AnswerInstead(Site& site, const Fault& fault, const httplib::Request& req,
                   httplib::Response& res) {
    switch (fault.kind) {
    case Fault::Kind::Status:
        res.status = static_cast<int>(fault.number);
        res.set_content("<html>injected error page</html>", "text/html");
        site.log.Write(req, res.status, res.body.size());
        return true;
    case Fault::Kind::Redirect:
        res.set_redirect(fault.location);
        site.log.Write(req, res.status, 0);
        return true;
    case Fault::Kind::Huge:
        site.log.Write(req, 200, static_cast<std::size_t>(fault.cap));
        update_server::ServeHuge(res, fault.number, fault.cap);
        return true;
    case Fault::Kind::EndlessHeaders:
        site.log.Write(req, 200, static_cast<std::size_t>(fault.cap));
        update_server::SendEndlessHeaders(req, fault.cap);
        return true;
    default:
        return false;
    }
}

// Faults that hold back or cut the file's body: how many bytes of it may go.
std::size_t BytesAllowed(const Fault& fault) {
    switch (fault.kind) {
    case Fault::Kind::Stall:
        std::this_thread::sleep_for(std::chrono::seconds(std::min(fault.number, 600LL)));
        return std::string::npos;
    case Fault::Kind::Cut:
        return static_cast<std::size_t>(std::max(fault.number, 0LL));
    case Fault::Kind::Delay:
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(fault.number, 600000LL)));
        return std::string::npos;
    case Fault::Kind::Drop:
        return 0;
    default:
        return std::string::npos;
    }
}

// Faults in how the file's body is framed or paced. True when the answer is made.
bool AnswerShaped(Site& site, const Fault& fault, const httplib::Request& req,
                  httplib::Response& res, const std::shared_ptr<std::string>& body) {
    switch (fault.kind) {
    case Fault::Kind::Chunked:
    case Fault::Kind::ChunkedNoLast:
        site.log.Write(req, 200, body->size());
        update_server::ServeChunked(res, *body, fault.number, fault.kind == Fault::Kind::Chunked);
        return true;
    case Fault::Kind::NoLength:
        site.log.Write(req, 200, body->size());
        update_server::ServeWithoutLength(res, body, fault.number);
        return true;
    case Fault::Kind::Trickle:
        if (body->empty()) {
            return false;
        }
        site.log.Write(req, 200, body->size());
        update_server::ServeTrickle(res, body, fault.number);
        return true;
    case Fault::Kind::HeaderTrickle:
        site.log.Write(req, 200, body->size());
        update_server::TrickleHeaders(req, *body, fault.number);
        return true;
    case Fault::Kind::FramedTwice:
        site.log.Write(req, 200, std::min<std::size_t>(body->size(), 4));
        update_server::SendFramedTwice(req, *body);
        return true;
    case Fault::Kind::Encoding:
        res.set_header("Content-Encoding", fault.location);
        return false;
    default:
        return false;
    }
}

// The part of the file asked for (all of it unless a Range under its If-Range says
// otherwise), with at most allowed bytes of it sent; a bad-range fault makes the
// Content-Range of a part not fit it.
void ServeFile(Site& site, const httplib::Request& req, httplib::Response& res,
               const std::shared_ptr<std::string>& body, const update_server::Part& part,
               const std::optional<Fault>& fault, std::size_t allowed) {
    using update_server::Part;
    const std::size_t size = body->size();
    res.set_header("Accept-Ranges", "bytes");
    if (part.kind == Part::Kind::Unsatisfiable) {
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        Refuse(site, req, res, 416, "range not satisfiable");
        return;
    }
    std::size_t first = 0, count = size;
    res.status = 200;
    if (part.kind == Part::Kind::Range) {
        const bool misfit = fault && fault->kind == Fault::Kind::BadRange;
        first = part.first;
        std::size_t total = size;
        if (misfit && fault->misfit == Fault::Misfit::Start) {
            first = std::min(first + 1, part.last + 1);
        } else if (misfit) {
            total = size + 1;
        }
        count = part.last + 1 - first;
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                            std::to_string(part.last) + "/" +
                                            std::to_string(total));
    }
    site.log.Write(req, res.status, std::min(count, allowed));
    if (count == 0) {
        // The library's content provider never finishes a body of no bytes.
        res.set_content(std::string(), "application/octet-stream");
        return;
    }
    update_server::ServeBody(res, body, first, count, allowed);
}

void Answer(Site& site, const httplib::Request& req, httplib::Response& res) {
    // The library would cut every answer to the Range asked by itself, even where If-Range
    // asks for the whole file or a fault for a misfit: the server decides what it sends.
    const_cast<httplib::Request&>(req).ranges.clear();
    if (req.path.rfind(kBasePath, 0) != 0) {
        Refuse(site, req, res, 404, "not found");
        return;
    }
    const std::string relative = req.path.substr(kBasePath.size());
    const std::optional<Fault> fault = site.faults.For(relative);
    if (fault && AnswerInstead(site, *fault, req, res)) {
        return;
    }
    const std::size_t allowed = fault ? BytesAllowed(*fault) : std::string::npos;
    auto file = Resolve(site.root, relative);
    if (!file) {
        Refuse(site, req, res, 403, "outside the release folder");
        return;
    }
    if (!fs::is_regular_file(*file)) {
        Refuse(site, req, res, 404, "not found");
        return;
    }
    // Validators taken before and after the read: a file rewritten meanwhile gets none, so
    // that no client joins its bytes to a part of another version.
    const update_server::Validators validators = update_server::ValidatorsOf(*file);
    auto body = ReadWhole(*file);
    if (validators.etag == update_server::ValidatorsOf(*file).etag && !validators.etag.empty()) {
        res.set_header("ETag", validators.etag);
        res.set_header("Last-Modified", validators.lastModified);
    }
    if (fault && AnswerShaped(site, *fault, req, res, body)) {
        return;
    }
    const bool validated = res.has_header("ETag");
    ServeFile(site, req, res, body,
              validated ? update_server::PartAsked(req, validators, body->size())
                        : update_server::Part{},
              fault, allowed);
}

// As many requests a connection as the common web servers allow, not the library's 5, so
// that clients that reuse connections are measured doing so; and without the library's
// SO_REUSEPORT, so that a second server on a port already served fails to start instead of
// answering half the requests from another release.
//
// A client on a slow, lossy link may take no byte for several seconds (a retransmission
// backs off): the library's 5 s write time-out would cut its answer short, so the server
// waits as long as common web servers do (60 s) before it gives a client up.
void Tune(httplib::Server& server) {
    server.set_keep_alive_max_count(100);
    server.set_write_timeout(60, 0);
    // A thread for each connection a client keeps open, for clients that fetch several
    // files at once: the library's 8 would make later connections wait for idle ones. The
    // library takes the queue it is given.
    server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
                   sizeof(yes));
        // Inherited by every connection: a small answer goes out at once instead of waiting
        // for the client's delayed acknowledgement (40 ms a request on Linux).
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                   sizeof(yes));
    });
}

int Listen(httplib::Server& server, const update_server::Options& options) {
    if (options.port == 0) {
        return server.bind_to_any_port(options.bind);
    }
    return server.bind_to_port(options.bind, options.port) ? options.port : -1;
}

void WritePortFile(const std::string& portFile, int port) {
    if (portFile.empty()) {
        return;
    }
    std::error_code error;
    const std::string temporary = portFile + ".tmp";
    std::ofstream(temporary) << port << "\n";
    fs::rename(temporary, portFile, error);
}

// Serves until the process is ended, or until the time given has passed.
void ServeUntilStopped(httplib::Server& server, long maxSeconds) {
    std::atomic<bool> ended{false};
    std::thread watchdog([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
        while (!ended && (maxSeconds == 0 || std::chrono::steady_clock::now() < end)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!ended) {
            std::cout << "update-server: stopping after " << maxSeconds << " s (--max-seconds)"
                      << std::endl;
        }
        server.stop();
    });
    server.listen_after_bind();
    ended = true;
    watchdog.join();
}

} // namespace

int main(int argc, char** argv) {
    const update_server::CommandLine command = update_server::ParseCommandLine(
        std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    if (!command.serve) {
        return command.exitCode;
    }
    const update_server::Options& options = *command.serve;
    std::error_code error;
    fs::path root = fs::canonical(options.root, error);
    if (error || !fs::is_directory(root)) {
        std::cerr << "update-server: no release folder at " << options.root << "\n";
        return 1;
    }
    Site site{root, update_server::FaultTable(options.faults), {}};
    if (!options.log.empty() && !site.log.Open(options.log)) {
        std::cerr << "update-server: cannot write the log " << options.log << "\n";
        return 1;
    }
    std::unique_ptr<httplib::Server> owned =
        options.tlsCert.empty()
            ? std::make_unique<httplib::Server>()
            : std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
    if (!owned->is_valid()) {
        std::cerr << "update-server: cannot use the certificate " << options.tlsCert << "\n";
        return 1;
    }
    httplib::Server& server = *owned;
    Tune(server);
    server.Get(R"(/.*)", [&site](const httplib::Request& req, httplib::Response& res) {
        Answer(site, req, res);
    });
    const int port = Listen(server, options);
    if (port <= 0) {
        std::cerr << "update-server: cannot listen on " << options.bind << ":" << options.port
                  << "\n";
        return 1;
    }
    WritePortFile(options.portFile, port);
    std::cout << "update-server: serving " << root << " on "
              << (options.tlsCert.empty() ? "http://" : "https://") << options.bind << ":" << port
              << kBasePath << std::endl;
    ServeUntilStopped(server, options.maxSeconds);
    return 0;
}
