// The update server's command line.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace update_server {

struct Options {
    std::string root;
    std::string bind = "127.0.0.1";
    int port = 0; // 0: a free port
    std::string portFile;
    std::string log;
    std::string faults;
    long maxSeconds = 0; // 0: until stopped
    std::string tlsCert;
    std::string tlsKey;
};

// What the command line asks for: serving with these options, or an exit with this code
// once help, the version or a usage error has been written.
struct CommandLine {
    std::optional<Options> serve;
    int exitCode = 0;
};

// Help and the version go to out, usage errors (named, with a one-line hint) to err.
CommandLine ParseCommandLine(const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err);

} // namespace update_server
