#!/usr/bin/env bash
# The download floor broken down per byte (one file of 1 GB) and per request (3,000 files of
# 10 KB): WinINet (the updater's client, through its own download, flush included) and
# WinHTTP (the same loop, flush included) under Wine, against curl (until its files are on
# the disk), on the update server on loopback. Prints the median seconds of ROUNDS rounds of
# each, with the lowest and highest; a round that did not fetch every file whole gives none.
#   bench/clients.sh [ROUNDS] [PORT] [SETS]   (SETS: "big small" by default)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rounds=${1:-3}
sets=${3:-big small}

build_host update-server
build_windows "${2:-}" transfer-floors
work=$root/build/bench/clients
note_load start
mkdir -p "$work"
make_set() { # big | small
    local folder=$work/$1
    [ -f "$folder/filelist.txt" ] && return
    rm -rf "$folder" && mkdir -p "$folder"
    if [ "$1" = big ]; then
        head -c 1073741824 /dev/urandom > "$folder/big.bin"
        printf 'big.bin\t1\r\n' > "$folder/filelist.txt"
    else
        python3 - "$folder" <<'PY'
import os, sys
root = sys.argv[1]
lines = []
for i in range(3000):
    folder = f"d{i % 30}"
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    with open(os.path.join(root, folder, f"f{i}.bin"), "wb") as f:
        f.write(os.urandom(10240))
    lines.append(f"{folder}/f{i}.bin\t1\r\n")
open(os.path.join(root, "filelist.txt"), "w", newline="").write("".join(lines))
PY
    fi
}
for set in $sets; do make_set "$set"; done
start_session
install_program build/windows/bench/transfer-floors.exe Quorvel

for set in $sets; do
    release=$work/$set
    start_server "$release"
    install_program "$release/filelist.txt" Quorvel bench-list.txt
    new_figures curl wininet winhttp
    for _ in $(seq "$rounds"); do
        curl_round sync >> "$work/curl.times"
        downloads_floor_round downloads >> "$work/wininet.times"
        downloads_floor_round winhttp >> "$work/winhttp.times"
    done
    stop_server
    c=$(median "$work/curl.times"); i=$(median "$work/wininet.times"); h=$(median "$work/winhttp.times")
    label=$([ "$set" = big ] && echo "one file of 1 GB" || echo "3,000 files of 10 KB")
    printf '%-22s curl %s s   WinINet %s s (%.2f x curl)   WinHTTP %s s (%.2f x curl)\n' \
        "$label" "$(figure "$work/curl.times")" "$(figure "$work/wininet.times")" \
        "$(echo "$i / $c" | bc -l)" "$(figure "$work/winhttp.times")" "$(echo "$h / $c" | bc -l)"
done
note_load end
rm -f "$bench_prefix/drive_c/Quorvel/floor.tmp"
