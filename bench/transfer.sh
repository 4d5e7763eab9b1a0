#!/usr/bin/env bash
# The start-up fetch of Quorvel.exe under Wine against curl, on the same server in the same
# run: a release of 300 files (about 200 MB) in nested folders on the update server on
# loopback. Prints the median times of alternating rounds, the ratio Quorvel/curl, and the
# bytes per second against a plain loopback copy of the same bytes. Beside them, what Wine
# costs by itself: its start-up, the label steps every download shows, and the downloads
# alone through the same HTTP client with no window.
#   bench/transfer.sh [ROUNDS] [PORT]
# PORT (a free loopback port) becomes the windows build's QUORVEL_E2E_PORT, which the
# program asks; without it the port already configured is used.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-3}
port_option=()
if [ -n "${2:-}" ]; then port_option=(-DQUORVEL_E2E_PORT="$2"); fi

bash scripts/setup.sh
cmake --preset host >/dev/null && cmake --build --preset host --target update-server >/dev/null
cmake --preset windows "${port_option[@]}" >/dev/null && cmake --build --preset windows --target QuorvelE2E AppLaunch transfer-floors >/dev/null
port=$(grep -m1 '^QUORVEL_E2E_PORT' build/windows/CMakeCache.txt | cut -d= -f2)

work=$root/build/bench
prefix=$root/build/windows/bench-prefix
release=$work/release
if [ ! -f "$release/filelist.txt" ]; then
    echo "== making the release"
    rm -rf "$release"
    python3 - "$release" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(8)
lines = []
for i in range(299):
    folder = f"modules/m{i % 6}/part{i % 17}"
    size = random.randint(200_000, 1_150_000)
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    with open(os.path.join(root, folder, f"f{i}.bin"), "wb") as f:
        f.write(os.urandom(size))
    lines.append(f"{folder}/f{i}.bin\t2026-12-08\r\n")
with open(os.path.join(root, "filelist.txt"), "w", newline="") as f:
    f.write("AppLaunch.exe\t1\r\n" + "".join(lines))
PY
    cp build/windows/tools/AppLaunch.exe "$release/AppLaunch.exe"
fi
bytes=$(find "$release" -type f ! -name filelist.txt -printf '%s\n' | awk '{s+=$1} END {print s}')

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
base=http://127.0.0.1:$port/public/tarnell/software/updates/quorvel_installer

cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true
# An operator starts the updater on a desktop that is already running: one X display and
# one Wine session (its server and services kept alive by an idle process) for all rounds,
# so that each round's start-up is a program's, not a whole Windows'.
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
exec 7> "$work/idle" # the idle process ends when this closes
sleep 2
# Xvfb runs no window manager, and Wine waits 2 s for one to withdraw a minimised window
# before it closes; a desktop's window manager answers at once. Unmanaged windows spare
# the measurement that wait.
cmake/wine-run.sh "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1
desktop=$(find "$prefix/drive_c/users" -mindepth 2 -maxdepth 2 -name Desktop ! -path '*/Public/*' | head -n 1)
mkdir -p "$prefix/drive_c/Quorvel"
cp build/windows/e2e/Quorvel.exe "$prefix/drive_c/Quorvel/Quorvel.exe"
cp build/windows/bench/transfer-floors.exe "$prefix/drive_c/Quorvel/transfer-floors.exe"
cp "$release/filelist.txt" "$prefix/drive_c/Quorvel/bench-list.txt"

now() { date +%s.%N; }
quorvel_round() {
    rm -rf "$desktop/Tarnell Temp Files"
    local t0; t0=$(now)
    cmake/wine-run.sh "$prefix" 'C:\Quorvel\Quorvel.exe' >/dev/null 2>&1 || true
    echo "$(now) - $t0" | bc
    # The launcher it starts outlives it in the running session.
    for _ in $(seq 100); do
        [ -f "$desktop/Tarnell Temp Files/AppLaunch.exe.started" ] && return
        sleep 0.1
    done
    echo "Quorvel did not finish" >&2
    exit 1
}
curl_round() {
    rm -rf "$work/curl"
    mkdir -p "$work/curl"
    tr -d '\r' < "$release/filelist.txt" | cut -f1 |
        awk -v b="$base" -v d="$work/curl" '{print "url = \"" b "/" $0 "?fakevariable=1\"\noutput = \"" d "/" $0 "\""}' \
        > "$work/curl.config"
    local t0; t0=$(now)
    curl -s --fail --create-dirs -K "$work/curl.config"
    echo "$(now) - $t0" | bc
}
wine_start_round() {
    local t0; t0=$(now)
    cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true
    echo "$(now) - $t0" | bc
}
floor_round() {
    cmake/wine-run.sh "$prefix" 'C:\Quorvel\transfer-floors.exe' "$@" 2>/dev/null |
        tr -d '\r' | grep -E '^[0-9.]+$' || { echo "transfer-floors $1 failed" >&2; exit 1; }
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

echo "== $rounds alternating rounds, $bytes bytes in 300 files"
: > "$work/q.times"; : > "$work/c.times"; : > "$work/w.times"; : > "$work/l.times"; : > "$work/d.times"
for r in $(seq "$rounds"); do
    quorvel_round >> "$work/q.times"
    curl_round >> "$work/c.times"
    wine_start_round >> "$work/w.times"
    floor_round labels 300 >> "$work/l.times"
    floor_round downloads "$base/" 'C:\Quorvel\bench-list.txt' 'C:\Quorvel\floor.tmp' >> "$work/d.times"
done
loopback=$(python3 - "$bytes" <<'PY'
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
q=$(median < "$work/q.times"); c=$(median < "$work/c.times"); w=$(median < "$work/w.times")
l=$(median < "$work/l.times"); d=$(median < "$work/d.times")
ratio() { echo "($1) / $c" | bc -l; }
printf 'Quorvel.exe under Wine: median %.2f s\n' "$q"
printf 'curl:                   median %.2f s\n' "$c"
printf 'Wine alone: starting a program %.2f s; show and hide the labels 300 times %.2f s\n' "$w" "$l"
printf 'downloads alone through the same HTTP client, no window: %.2f s\n' "$d"
printf 'ratio Quorvel/curl:     %.2f  (less Wine start-up: %.2f; less labels too: %.2f)\n' \
    "$(ratio "$q")" "$(ratio "$q - $w")" "$(ratio "$q - $w - $l")"
printf 'ratio downloads alone/curl: %.2f\n' "$(ratio "$d")"
printf 'throughput: Quorvel %.0f MB/s, curl %.0f MB/s, loopback copy %.0f MB/s\n' \
    "$(echo "$bytes / $q / 1000000" | bc -l)" "$(echo "$bytes / $c / 1000000" | bc -l)" "$(echo "$bytes / $loopback / 1000000" | bc -l)"
# The floors: what the same Wine needs for the steps a start-up fetch must take.
printf 'ratio Quorvel/floors: %.2f\n' "$(echo "$q / ($w + $l + $d)" | bc -l)"
