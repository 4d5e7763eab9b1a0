// What SHA-256 through the system's CNG costs by itself, from memory: BYTES bytes fed in
// pieces of PIECE bytes (256 KiB, the most the protected updater hashes at once, unless
// given), spread evenly over OBJECTS hash objects (one unless given: one a file costs what
// making, finishing and destroying an object costs, and small pieces what each call costs).
// Prints the seconds and the digest of the first object's bytes, so that the caller can tell
// that every byte was hashed.
//   hash-floor BYTES [PIECE [OBJECTS]]
#include "platform/Crypto.h"
#include "release/Hex.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<platform::Sha256Digest> HashOf(long long bytes, const std::vector<char>& piece) {
    platform::Sha256 hash;
    const long long size = static_cast<long long>(piece.size());
    for (long long done = 0; done < bytes; done += size) {
        hash.Update(piece.data(), static_cast<std::size_t>(std::min(bytes - done, size)));
    }
    return hash.Finish();
}

} // namespace

int main(int argc, char** argv) {
    const long long bytes = argc > 1 ? std::atoll(argv[1]) : 0;
    const long long pieceSize = argc > 2 ? std::atoll(argv[2]) : 1 << 18;
    const long long objects = argc > 3 ? std::atoll(argv[3]) : 1;
    if (argc < 2 || argc > 4 || bytes <= 0 || pieceSize <= 0 || objects <= 0) {
        std::fprintf(stderr, "usage: hash-floor BYTES [PIECE [OBJECTS]]\n");
        return 2;
    }
    std::vector<char> piece(static_cast<std::size_t>(pieceSize), 'q');
    const long long each = bytes / objects;
    std::optional<platform::Sha256Digest> first;
    const auto start = std::chrono::steady_clock::now();
    for (long long object = 0; object < objects; ++object) {
        const long long share = object + 1 < objects ? each : bytes - each * (objects - 1);
        std::optional<platform::Sha256Digest> digest = HashOf(share, piece);
        if (!digest) {
            return 1;
        }
        if (object == 0) {
            first = digest;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f %s\n", took.count(), release::ToHex(*first).c_str());
    return 0;
}
