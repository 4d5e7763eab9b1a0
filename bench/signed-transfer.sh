#!/usr/bin/env bash
# The cost of the protection: the start-up fetch of the 196 MB release (300 files) by the
# default Quorvel.exe and by the protected one (hash of every file checked against its
# signed stamp), alternating rounds in the same run, one Wine session, the same server and
# the same signed release. Prints both medians and the ratio.
#   bench/signed-transfer.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-3}

bash scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host --target update-server quorvel-publish >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target QuorvelE2E QuorvelSigned AppLaunch hash-floor transfer-floors >/dev/null
port=$(grep -m1 '^QUORVEL_E2E_PORT' build/windows/CMakeCache.txt | cut -d= -f2)

work=$root/build/bench-signed
prefix=$root/build/windows/bench-prefix
release=$work/release
if [ ! -f "$release/filelist.txt.sig" ]; then
    echo "== making and signing the release"
    rm -rf "$release"
    python3 - "$release" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(8)
for i in range(299):
    folder = f"modules/m{i % 6}/part{i % 17}"
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    with open(os.path.join(root, folder, f"f{i}.bin"), "wb") as f:
        f.write(os.urandom(random.randint(200_000, 1_150_000)))
PY
    cp build/windows/tools/AppLaunch.exe "$release/AppLaunch.exe"
    build/host/tools/quorvel-publish publish "$release" --key tests/keys/release-test.key >/dev/null
fi
bytes=$(find "$release" -type f ! -name 'filelist.txt*' -printf '%s\n' | awk '{s+=$1} END {print s}')

build/host/tools/update-server --root "$release" --port "$port" --port-file "$work/port" \
    --max-seconds 1800 >/dev/null 2>&1 &
server=$!
session_pids=()
end_session() {
    exec 7>&- 2>/dev/null || true
    kill "$server" "${session_pids[@]}" 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
}
trap end_session EXIT
sleep 0.5

# One X display and one running Wine session for every round, windows unmanaged, as in
# bench/transfer.sh.
cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
session_pids+=($!)
export DISPLAY=:$display
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
WINEPREFIX=$prefix wineserver -w
WINEPREFIX=$prefix wineserver -p
rm -f "$work/idle" && mkfifo "$work/idle"
cmake/wine-run.sh "$prefix" cmd < "$work/idle" >/dev/null 2>&1 &
session_pids+=($!)
exec 7> "$work/idle"
sleep 2
cmake/wine-run.sh "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1
desktop=$(find "$prefix/drive_c/users" -mindepth 2 -maxdepth 2 -name Desktop ! -path '*/Public/*' | head -n 1)
mkdir -p "$prefix/drive_c/Quorvel" "$prefix/drive_c/QuorvelSigned"
cp build/windows/e2e/Quorvel.exe "$prefix/drive_c/Quorvel/Quorvel.exe"
cp build/windows/e2e-signed/Quorvel.exe "$prefix/drive_c/QuorvelSigned/Quorvel.exe"
cp build/windows/bench/hash-floor.exe "$prefix/drive_c/Quorvel/hash-floor.exe"
cp build/windows/bench/transfer-floors.exe "$prefix/drive_c/Quorvel/transfer-floors.exe"
cp "$release/filelist.txt" "$prefix/drive_c/Quorvel/bench-list.txt"
base="http://127.0.0.1:$port/public/tarnell/software/updates/quorvel_installer/"

now() { date +%s.%N; }
round() { # exe
    rm -rf "$desktop/Tarnell Temp Files"
    local t0; t0=$(now)
    cmake/wine-run.sh "$prefix" "$1" >/dev/null 2>&1 || true
    echo "$(now) - $t0" | bc
    for _ in $(seq 100); do
        [ -f "$desktop/Tarnell Temp Files/AppLaunch.exe.started" ] && return
        sleep 0.1
    done
    echo "$1 did not finish" >&2
    exit 1
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

echo "== $rounds alternating rounds, $bytes bytes in 300 files"
: > "$work/off.times"; : > "$work/on.times"; : > "$work/hash.times"
: > "$work/plain.times"; : > "$work/hashed.times"
# The 300 downloads alone through the updater's own client, without and with the digest.
floor() { # mode
    cmake/wine-run.sh "$prefix" 'C:\Quorvel\transfer-floors.exe' "$1" "$base" \
        'C:\Quorvel\bench-list.txt' 'C:\Quorvel\floor.tmp' 2>/dev/null | tr -d '\r' |
        grep -E '^[0-9.]+$' || { echo "transfer-floors $1 failed" >&2; exit 1; }
}
for _ in $(seq "$rounds"); do
    round 'C:\Quorvel\Quorvel.exe' >> "$work/off.times"
    round 'C:\QuorvelSigned\Quorvel.exe' >> "$work/on.times"
    cmake/wine-run.sh "$prefix" 'C:\Quorvel\hash-floor.exe' "$bytes" 2>/dev/null | tr -d '\r' \
        >> "$work/hash.times"
    floor downloads >> "$work/plain.times"
    floor hashed >> "$work/hashed.times"
done
off=$(median < "$work/off.times"); on=$(median < "$work/on.times"); hash=$(median < "$work/hash.times")
plain=$(median < "$work/plain.times"); hashed=$(median < "$work/hashed.times")
printf 'protection off: median %.2f s\n' "$off"
printf 'protection on:  median %.2f s\n' "$on"
printf 'cost of the protection: %+.1f %%\n' "$(echo "($on - $off) * 100 / $off" | bc -l)"
printf 'SHA-256 of the same bytes through CNG alone, from memory: %.2f s (%.0f MB/s)\n' \
    "$hash" "$(echo "$bytes / $hash / 1000000" | bc -l)"
printf 'the 300 downloads alone: %.2f s, with the digest taken as they arrive: %.2f s (%+.1f %%)\n' \
    "$plain" "$hashed" "$(echo "($hashed - $plain) * 100 / $plain" | bc -l)"
