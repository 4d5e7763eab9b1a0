// quorvel-publish: the maker's release tool (see Tool.h).
#include "Tool.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return publish::RunTool(args, std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        // Every failure the tool knows of is reported where it happens; this is the last
        // guard, so that none ends in an abort.
        std::cerr << "quorvel-publish: " << e.what() << "\n";
        return 1;
    }
}
