// quorvel-publish: the maker's release tool (see Tool.h).
#include "Tool.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <exception>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
#ifdef _WIN32
    const bool terminal = _isatty(2) != 0;
#else
    const bool terminal = isatty(2) != 0;
#endif
    // Progress only for a maker who watches: never into a log or a pipe.
    std::unique_ptr<publish::TerminalProgress> progress;
    if (terminal) {
        progress = std::make_unique<publish::TerminalProgress>(std::cerr);
    }
    try {
        return publish::RunTool(args, std::cin, std::cout, std::cerr, progress.get());
    } catch (const std::exception& e) {
        // Every failure the tool knows of is reported where it happens; this is the last
        // guard, so that none ends in an abort.
        std::cerr << "quorvel-publish: " << e.what() << "\n";
        return 1;
    }
}
