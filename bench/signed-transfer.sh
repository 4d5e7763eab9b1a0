#!/usr/bin/env bash
# The cost of the protection: the start-up fetch of the bench release (300 files, 196 MB) by
# the default Quorvel.exe and by the protected one (the list's signature checked, the hash of
# every file checked against its signed stamp as it arrives, the launcher read back before
# it starts), alternating rounds in one run, one Wine session, the same server and the same
# signed release. Beside them, where the extra time can go: the 300 downloads alone without
# and with the digest, and SHA-256 through the system's CNG from memory, in one hash object
# with 256 KiB pieces, and in one object a file with pieces of the size the download hands
# over.
# A round that did not end as it must gives no figure.
#   bench/signed-transfer.sh [ROUNDS] [PORT]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rounds=${1:-3}

bash scripts/setup.sh
build_host update-server quorvel-publish
build_windows "${2:-}" QuorvelE2E QuorvelSigned AppLaunch hash-floor transfer-floors
work=$root/build/bench/signed
note_load start
make_bench_release
start_server "$release"
start_session
install_program build/windows/e2e/Quorvel.exe Quorvel
install_program build/windows/e2e-signed/Quorvel.exe QuorvelSigned
install_program build/windows/bench/hash-floor.exe Quorvel
install_program build/windows/bench/transfer-floors.exe Quorvel
install_program "$release/filelist.txt" Quorvel bench-list.txt

# hash-floor BYTES [PIECE [OBJECTS]], refused unless the digest is that of the bytes hashed.
hash_round() { # BYTES PIECE OBJECTS
    local out expected
    out=$(wine_in_session 'C:\Quorvel\hash-floor.exe' "$@") || no_figure "hash-floor $* failed: $(wine_said)"
    expected=$(python3 -c "import hashlib; print(hashlib.sha256(b'q' * ($1 // $3)).hexdigest())")
    [ "${out#* }" = "$expected" ] || no_figure "hash-floor $* did not hash every byte: $out"
    expect_number "hash-floor $*" "${out%% *}"
    echo "${out%% *}"
}

echo "== $rounds alternating rounds, $release_bytes bytes in $release_files files"
new_figures off on hash hash-files plain hashed
# The pieces Wine's WinINet hands over: about 8 KB (82 reads for a file of 650 KB on
# average, counted by the census of commit 832e921).
piece=${BENCH_HASH_PIECE:-8192}
for _ in $(seq "$rounds"); do
    quorvel_round Quorvel >> "$work/off.times"
    quorvel_round QuorvelSigned filelist.txt.sig >> "$work/on.times"
    hash_round "$release_bytes" 262144 1 >> "$work/hash.times"
    hash_round "$release_bytes" "$piece" "$release_files" >> "$work/hash-files.times"
    downloads_floor_round downloads >> "$work/plain.times"
    downloads_floor_round hashed >> "$work/hashed.times"
done
note_load end
off=$(median "$work/off.times"); on=$(median "$work/on.times")
hash=$(median "$work/hash.times"); plain=$(median "$work/plain.times")
hashed=$(median "$work/hashed.times")
echo "seconds: median (lowest-highest)"
echo "protection off: $(figure "$work/off.times") s"
echo "protection on:  $(figure "$work/on.times") s"
printf 'cost of the protection: %+.1f %% (%.1f ms a file)\n' \
    "$(echo "($on - $off) * 100 / $off" | bc -l)" "$(echo "($on - $off) * 1000 / $release_files" | bc -l)"
printf 'SHA-256 of the same bytes through CNG alone, from memory, one object, 256 KiB pieces: %s s (%.0f MB/s)\n' \
    "$(figure "$work/hash.times")" "$(echo "$release_bytes / $hash / 1000000" | bc -l)"
echo "the same in $release_files objects, $piece-byte pieces: $(figure "$work/hash-files.times") s"
printf 'the %d downloads alone: %s s, with the digest taken as they arrive: %s s (%+.1f %%)\n' \
    "$release_files" "$(figure "$work/plain.times")" "$(figure "$work/hashed.times")" \
    "$(echo "($hashed - $plain) * 100 / $plain" | bc -l)"
