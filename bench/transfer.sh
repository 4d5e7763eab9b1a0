#!/usr/bin/env bash
# The start-up fetch of Quorvel.exe under Wine against curl and against Wine's own floors, on
# the same server in the same run: the bench release of 300 files (about 196 MB) in nested
# folders, on the update server on loopback. Beside it, what Wine costs by itself for the
# steps a start-up fetch must take: starting a program, the label steps every download
# shows, and the downloads alone through the same HTTP client with no window (and the same
# downloads each moved into its own place, the least file work the fetch needs). Rounds
# alternate; each figure is the median, with the lowest and highest in brackets. A round
# that did not fetch every file whole (or left a message box open) gives no figure.
#   bench/transfer.sh [ROUNDS] [PORT]
# PORT (a free loopback port) becomes the windows build's QUORVEL_E2E_PORT, which the
# program asks; without it the port already configured is used.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rounds=${1:-3}

bash scripts/setup.sh
build_host update-server quorvel-publish
build_windows "${2:-}" QuorvelE2E AppLaunch transfer-floors
work=$root/build/bench/transfer
note_load start
make_bench_release
start_server "$release"
start_session
install_program build/windows/e2e/Quorvel.exe Quorvel
install_program build/windows/bench/transfer-floors.exe Quorvel
install_program "$release/filelist.txt" Quorvel bench-list.txt

echo "== $rounds alternating rounds, $release_bytes bytes in $release_files files"
new_figures quorvel curl start labels downloads placed ratio ratio-placed
for _ in $(seq "$rounds"); do
    quorvel_round Quorvel >> "$work/quorvel.times"
    curl_round >> "$work/curl.times"
    wine_start_round >> "$work/start.times"
    floor_round labels "$release_files" >> "$work/labels.times"
    downloads_floor_round downloads >> "$work/downloads.times"
    placed_floor_round >> "$work/placed.times"
    # This round's Quorvel / floors, and the same with the downloads moved into place.
    paste "$work/quorvel.times" "$work/start.times" "$work/labels.times" "$work/downloads.times" \
        "$work/placed.times" | tail -n 1 |
        awk -v r="$work/ratio.times" -v p="$work/ratio-placed.times" \
            '{print $1 / ($2 + $3 + $4) >> r; print $1 / ($2 + $3 + $5) >> p}'

done
note_load end
loopback=$(python3 - "$release_bytes" <<'PY'
import socket, sys, threading, time
n = int(sys.argv[1]); chunk = b"\0" * (1 << 20)
srv = socket.socket(); srv.bind(("127.0.0.1", 0)); srv.listen(1)
def sink():
    c, _ = srv.accept()
    while c.recv(1 << 20): pass
t = threading.Thread(target=sink); t.start()
s = socket.create_connection(srv.getsockname()); t0 = time.time(); sent = 0
while sent < n:
    s.sendall(chunk); sent += len(chunk)
s.close(); t.join(); print(time.time() - t0)
PY
)
q=$(median "$work/quorvel.times"); c=$(median "$work/curl.times"); w=$(median "$work/start.times")
l=$(median "$work/labels.times"); d=$(median "$work/downloads.times"); p=$(median "$work/placed.times")
per_curl() { echo "($1) / $c" | bc -l; }
echo "seconds: median (lowest-highest)"
echo "Quorvel.exe under Wine:    $(figure "$work/quorvel.times") s"
echo "curl:                      $(figure "$work/curl.times") s"
echo "Wine, starting a program:  $(figure "$work/start.times") s"
echo "Wine, the label steps of $release_files downloads: $(figure "$work/labels.times") s"
echo "the downloads alone through the same HTTP client, no window: $(figure "$work/downloads.times") s"
echo "the same, each moved into its own place (its folders made once): $(figure "$work/placed.times") s"
printf 'ratio Quorvel/curl:     %.2f  (less Wine start-up: %.2f; less labels too: %.2f)\n' \
    "$(per_curl "$q")" "$(per_curl "$q - $w")" "$(per_curl "$q - $w - $l")"
printf 'ratio downloads alone/curl: %.2f\n' "$(per_curl "$d")"
printf 'throughput: Quorvel %.0f MB/s, curl %.0f MB/s, loopback copy %.0f MB/s\n' \
    "$(echo "$release_bytes / $q / 1000000" | bc -l)" "$(echo "$release_bytes / $c / 1000000" | bc -l)" \
    "$(echo "$release_bytes / $loopback / 1000000" | bc -l)"
# The floors: what the same Wine needs for the steps a start-up fetch must take.
printf 'Quorvel beyond its floors: %.2f ms a file (%.2f ms beyond the floors with the files moved into place)\n' \
    "$(echo "($q - $w - $l - $d) * 1000 / $release_files" | bc -l)" \
    "$(echo "($q - $w - $l - $p) * 1000 / $release_files" | bc -l)"
echo "ratio Quorvel/floors: $(figure "$work/ratio.times") (each round's own)"
echo "ratio Quorvel/floors with the files moved into place: $(figure "$work/ratio-placed.times")"
