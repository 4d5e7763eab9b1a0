// What SHA-256 through the system's CNG costs by itself: the given number of bytes, fed in
// 256 KiB pieces, the most the protected updater hashes at once, from memory. Prints the seconds.
#include "platform/Crypto.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const long long bytes = argc > 1 ? std::atoll(argv[1]) : 0;
    std::vector<char> piece(1 << 18, 'q');
    const auto start = std::chrono::steady_clock::now();
    platform::Sha256 hash;
    for (long long done = 0; done < bytes; done += static_cast<long long>(piece.size())) {
        const long long left = bytes - done;
        hash.Update(piece.data(), static_cast<std::size_t>(left < 1 << 18 ? left : 1 << 18));
    }
    if (!hash.Finish()) {
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    return 0;
}
