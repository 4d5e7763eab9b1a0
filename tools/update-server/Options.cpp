#include "Options.h"

#include "QuorvelVersion.h"

#include <map>

namespace update_server {

namespace {

constexpr const char* kUsage =
    "usage: update-server --root DIR [--bind ADDR] [--port N] [--port-file FILE] [--log FILE]\n"
    "                     [--faults FILE] [--max-seconds S] [--tls-cert PEM --tls-key PEM]\n";

constexpr const char* kHelp =
    "Serves a release folder for tests and the demo, under the update base path, on a loopback\n"
    "address only.\n"
    "\n"
    "  --root DIR         the release folder (required)\n"
    "  --bind ADDR        a loopback address or localhost (default 127.0.0.1)\n"
    "  --port N           0 to 65535; 0, the default, takes a free port\n"
    "  --port-file FILE   receives the port taken, once the server listens\n"
    "  --log FILE         appends one line a request: method, path, status, bytes\n"
    "  --faults FILE      faults to inject, one line each: PATH ACTION [ARGUMENTS] (see below)\n"
    "  --max-seconds S    stops after S seconds (default: runs until stopped)\n"
    "  --tls-cert PEM --tls-key PEM   serves https with this certificate and key\n"
    "  -h, --help         this help\n"
    "  --version          the version\n"
    "\n"
    "\n"
    "Every file is sent with a strong ETag and a Last-Modified (both change when the file is\n"
    "written again). A single Range bytes=K- or K-L is answered 206 with its Content-Range\n"
    "(416 past the end) while If-Range names the file as it is (its ETag, or its date once\n"
    "the file is more than a second old), the whole file with 200 otherwise.\n"
    "\n"
    "Fault actions (PATH relative to the release folder, or * for every path):\n"
    "  status N, cut N (the body stops after N bytes), stall S, delay MS (the answer starts\n"
    "  MS ms after the request), drop, redirect URL, chunked [N], chunked-nolast,\n"
    "  nolength [N], encoding NAME, trickle MS, huge LENGTH [CAP], header-trickle MS,\n"
    "  endless-headers [CAP], bad-range [start|total] (a Range is answered 206 with a part\n"
    "  that starts one byte late, or a total one byte more than the file), framed-twice (a\n"
    "  Content-Length and chunked framing both, the connection closed after the first chunk)\n"
    "\n"
    "Exit codes: 0 stopped, 1 could not serve (port taken, log or certificate unusable),\n"
    "2 usage error.\n";

bool IsLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" || address == "localhost";
}

// A whole decimal number within [low, high], or nothing.
std::optional<long> Number(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    long value = std::stol(text);
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

CommandLine Usage(std::ostream& err, const std::string& problem) {
    err << "update-server: " << problem << "\n"
        << "Try 'update-server --help' for more information.\n";
    return CommandLine{std::nullopt, 2};
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err) {
    Options o;
    std::map<std::string, std::string*> texts = {
        {"--root", &o.root},      {"--bind", &o.bind},     {"--port-file", &o.portFile},
        {"--log", &o.log},        {"--faults", &o.faults}, {"--tls-cert", &o.tlsCert},
        {"--tls-key", &o.tlsKey},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            out << kUsage << "\n" << kHelp;
            return CommandLine{std::nullopt, 0};
        }
        if (arg == "--version") {
            out << "update-server " << QUORVEL_VERSION << "\n";
            return CommandLine{std::nullopt, 0};
        }
        const bool known = texts.count(arg) != 0 || arg == "--port" || arg == "--max-seconds";
        if (!known) {
            return Usage(
                err, (arg.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + arg);
        }
        if (i + 1 >= args.size()) {
            return Usage(err, arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (arg == "--port") {
            auto port = Number(value, 0, 65535);
            if (!port) {
                return Usage(err, "--port takes a number from 0 to 65535, not " + value);
            }
            o.port = static_cast<int>(*port);
        } else if (arg == "--max-seconds") {
            auto seconds = Number(value, 1, 86400 * 365);
            if (!seconds) {
                return Usage(err, "--max-seconds takes a number of seconds from 1, not " + value);
            }
            o.maxSeconds = *seconds;
        } else {
            *texts[arg] = value;
        }
    }
    if (o.root.empty()) {
        return Usage(err, "--root DIR is required");
    }
    if (o.tlsCert.empty() != o.tlsKey.empty()) {
        return Usage(err, "--tls-cert and --tls-key go together");
    }
    if (!IsLoopback(o.bind)) {
        return Usage(err, "refusing to bind to " + o.bind + ": loopback addresses only");
    }
    return CommandLine{o, 0};
}

} // namespace update_server
