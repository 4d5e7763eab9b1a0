// quorvel-publish: the maker's release tool (see Tool.h).
#include "Tool.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return publish::RunTool(args, std::cout, std::cerr);
}
