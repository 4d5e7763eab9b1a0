// What one platform call of the updater's file work costs under this Windows, through the
// same platform functions the updater calls, in a scratch folder laid out as a row of the
// bench release (a file three levels below a folder four levels deep): each call repeated
// COUNT times, the median of five batches printed in microseconds a call. Beside the
// census of bench/census.sh it prices each step of a row.
//   call-costs FOLDER [COUNT]
#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

double MicrosecondsPerCall(int count, const std::function<bool(int)>& call) {
    std::vector<double> batches;
    for (int batch = 0; batch < 5; ++batch) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            if (!call(i)) {
                return -1;
            }
        }
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - start;
        batches.push_back(took.count() / count);
    }
    std::sort(batches.begin(), batches.end());
    return batches[2];
}

bool MakeFile(const std::string& path, std::size_t bytes) {
    platform::RemoveFileIfPresent(path);
    return platform::AppendToFile(path, std::string(bytes, 'q'));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: call-costs FOLDER [COUNT]\n");
        return 2;
    }
    const int count = argc == 3 ? std::atoi(argv[2]) : 200;
    std::string base = argv[1];
    if (base.back() != '\\') {
        base += '\\';
    }
    // The levels of a row: the base folder, then modules\m0\part0 with a few files beside.
    for (std::size_t slash = base.find('\\', 3); slash != std::string::npos;
         slash = base.find('\\', slash + 1)) {
        platform::CreateFolder(base.substr(0, slash));
    }
    std::string folder = base;
    for (const char* level : {"modules", "m0", "part0"}) {
        folder += std::string(level) + "\\";
        platform::CreateFolder(folder);
    }
    const std::string present = folder + "f0.bin";
    const std::string absent = folder + "f1.bin";
    const std::string moved = folder + "temp1234.$$$";
    const std::string record = base + "PelmoraUpdaterRun.txt";
    const std::string other = base + "modules\\m0\\temp1234.$$$";
    if (!MakeFile(present, 600000) || !MakeFile(folder + "f2.bin", 1000)) {
        std::fprintf(stderr, "call-costs: cannot write in %s\n", folder.c_str());
        return 1;
    }
    struct Cost {
        const char* what;
        std::function<bool(int)> call;
    };
    const std::vector<Cost> costs = {
        {"existence test of a folder that exists (GetFileAttributesA)",
         [&](int) { return platform::FolderExists(folder); }},
        {"existence test of a file that exists (GetFileAttributesA)",
         [&](int) { return platform::FileExists(present); }},
        {"existence test of a file that is absent (GetFileAttributesA)",
         [&](int) { return !platform::FileExists(absent); }},
        {"size of a file (FindFirstFileA)",
         [&](int) { return platform::FileSize(present).has_value(); }},
        {"rename in its folder, and back (MoveFileA, 2 calls)",
         [&](int) {
             return platform::MoveExisting(present, moved) == platform::MoveResult::Moved &&
                    platform::MoveExisting(moved, present) == platform::MoveResult::Moved;
         }},
        {"move to another folder, and back (MoveFileA, 2 calls)",
         [&](int) {
             return platform::MoveExisting(present, other) == platform::MoveResult::Moved &&
                    platform::MoveExisting(other, present) == platform::MoveResult::Moved;
         }},
        {"a folder made and removed (CreateDirectoryA, RemoveDirectoryA)",
         [&](int i) {
             const std::string made = folder + "d" + std::to_string(i);
             return platform::CreateFolder(made) && RemoveDirectoryA(made.c_str()) != 0;
         }},
        {"a line appended to the run record and flushed (CreateFileA, WriteFile, FlushFileBuffers)",
         [&](int) { return platform::AppendToFile(record, std::string(90, 'r') + "\r\n"); }},
    };
    for (const Cost& cost : costs) {
        const double us = MicrosecondsPerCall(count, cost.call);
        if (us < 0) {
            std::fprintf(stderr, "call-costs: %s failed\n", cost.what);
            return 1;
        }
        std::printf("%9.1f us  %s\n", us, cost.what);
    }
    platform::RemoveFile(record);
    return 0;
}
