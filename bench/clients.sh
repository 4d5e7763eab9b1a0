#!/usr/bin/env bash
# The download floor broken down per byte (one file of 1 GB) and per request (3,000 files of
# 10 KB): WinINet (the updater's client, through its own download, flush included) and
# WinHTTP (the same loop, flush included) under Wine, against curl, on the update server on
# loopback. Prints the median seconds of ROUNDS rounds of each.
#   bench/clients.sh [ROUNDS] [PORT] [SETS]   (SETS: "big small" by default)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-3}
port=${2:-18480}
sets=${3:-big small}
cmake --build --preset host --target update-server >/dev/null
cmake --build --preset windows --target transfer-floors >/dev/null

work=$root/build/bench/clients
prefix=$root/build/windows/bench-prefix
mkdir -p "$work"
make_release() { # name: big | small
    local release=$work/$1
    [ -f "$release/filelist.txt" ] && return
    rm -rf "$release" && mkdir -p "$release"
    if [ "$1" = big ]; then
        head -c 1073741824 /dev/urandom > "$release/big.bin"
        printf 'big.bin\t1\r\n' > "$release/filelist.txt"
    else
        python3 - "$release" <<'PY'
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
for set in $sets; do make_release "$set"; done

cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true
mkdir -p "$prefix/drive_c/Quorvel"
cp build/windows/bench/transfer-floors.exe "$prefix/drive_c/Quorvel/transfer-floors.exe"
now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

for set in $sets; do
    release=$work/$set
    build/host/tools/update-server --root "$release" --port "$port" --port-file "$work/port" \
        --max-seconds 1800 >/dev/null 2>&1 &
    server=$!
    trap 'kill $server 2>/dev/null || true' EXIT
    sleep 0.5
    base=http://127.0.0.1:$port/public/tarnell/software/updates/quorvel_installer
    cp "$release/filelist.txt" "$prefix/drive_c/Quorvel/clients-list.txt"
    tr -d '\r' < "$release/filelist.txt" | cut -f1 |
        awk -v b="$base" -v d="$work/curl" '{print "url = \"" b "/" $0 "?fakevariable=1\"\noutput = \"" d "/" $0 "\""}' \
        > "$work/curl.config"
    : > "$work/curl.times"; : > "$work/wininet.times"; : > "$work/winhttp.times"
    for _ in $(seq "$rounds"); do
        rm -rf "$work/curl"
        t0=$(now)
        curl -s --fail --create-dirs -K "$work/curl.config"
        sync
        echo "$(now) - $t0" | bc >> "$work/curl.times"
        for client in wininet winhttp; do
            mode=$([ $client = wininet ] && echo downloads || echo winhttp)
            cmake/wine-run.sh "$prefix" 'C:\Quorvel\transfer-floors.exe' "$mode" "$base/" \
                'C:\Quorvel\clients-list.txt' 'C:\Quorvel\clients.tmp' 2>/dev/null |
                tr -d '\r' | grep -E '^[0-9.]+$' >> "$work/$client.times" ||
                { echo "$client failed" >&2; exit 1; }
        done
    done
    kill $server
    wait $server 2>/dev/null || true
    c=$(median < "$work/curl.times"); i=$(median < "$work/wininet.times"); h=$(median < "$work/winhttp.times")
    label=$([ $set = big ] && echo "one file of 1 GB" || echo "3,000 files of 10 KB")
    printf '%-22s curl %.2f s   WinINet %.2f s (%.2f x curl)   WinHTTP %.2f s (%.2f x curl)\n' \
        "$label" "$c" "$i" "$(echo "$i / $c" | bc -l)" "$h" "$(echo "$h / $c" | bc -l)"
done
rm -f "$prefix/drive_c/Quorvel/clients.tmp"
