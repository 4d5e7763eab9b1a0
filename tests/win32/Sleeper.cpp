// A program that does nothing for the milliseconds its command line gives (at most 60 s),
// for tests that need a process of their own.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    long ms = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
    if (ms < 0 || ms > 60000) {
        ms = 60000;
    }
    Sleep(static_cast<DWORD>(ms));
    return 0;
}
