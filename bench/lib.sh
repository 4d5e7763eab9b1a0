# What the benchmark scripts share: the builds they need, the bench release, the update
# server with its request log, one running Wine session, timing, medians and spreads, and
# the refusal to print a figure from a run that did not end as expected.
# Sourced by a bench script (which has set -euo pipefail) as its first step; it moves to the
# source folder and sets:
#   root bench_prefix wine_run   the source folder, the benches' Wine prefix, its runner
#   base_path                    the server's folder of a release, as the updater asks for it
# Each script sets work (its own folder under build/) before it starts a server or a session.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bench_prefix=$root/build/windows/bench-prefix
wine_run=$root/cmake/wine-run.sh
base_path=$(scripts/base-path.sh)
bench_cleanups=()
trap 'bench_cleanup' EXIT

# Says why there is no figure and ends the script.
no_figure() {
    echo "no figure: $*" >&2
    exit 1
}

# The clean-up steps, the last one added first (what was made last goes first).
bench_cleanup() {
    local i
    exec 7>&- 2>/dev/null || true
    for ((i = ${#bench_cleanups[@]} - 1; i >= 0; i--)); do eval "${bench_cleanups[$i]}" || true; done
}

# --- builds

build_host() { # TARGET...
    cmake --preset host >/dev/null
    cmake --build --preset host --target "$@" >/dev/null
}

# The windows build's targets, built for the update server port PORT when one is given (the
# programs under test ask the port they were built for); sets port to the one they ask.
build_windows() { # PORT|"" TARGET...
    local wanted=$1
    shift
    if [ -n "$wanted" ] || [ ! -f build/windows/CMakeCache.txt ]; then
        cmake --preset windows ${wanted:+-DQUORVEL_E2E_PORT="$wanted"} >/dev/null
    fi
    cmake --build --preset windows --target "$@" >/dev/null
    port=$(grep -m1 '^QUORVEL_E2E_PORT' build/windows/CMakeCache.txt | cut -d= -f2)
}

# --- the bench release

# The release of 300 files the fetch benchmarks share: AppLaunch.exe and 299 files of 200 KB
# to 1.15 MB (about 196 MB) in 102 folders three levels deep. Sets release, release_files and
# release_bytes.
make_bench_release() { make_release "$root/build/bench/release" 299 200000 1150000; }

# A release of AppLaunch.exe and COUNT files of MIN to MAX bytes (random sizes and bytes from
# a fixed seed) in folders three levels deep, listed and signed with the test key by
# quorvel-publish, so that both the default and the protected build take it. Made once in
# FOLDER; sets release, release_files (the listed files) and release_bytes (their bytes).
make_release() { # FOLDER COUNT MIN MAX
    release=$1
    if [ ! -f "$release/filelist.txt.sig" ]; then
        echo "== making and signing the release $release"
        rm -rf "$release"
        python3 - "$@" <<'PY'
import os, random, sys
root, count, low, high = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
random.seed(8)
for i in range(count):
    folder = f"modules/m{i % 6}/part{i % 17}"
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    with open(os.path.join(root, folder, f"f{i}.bin"), "wb") as f:
        f.write(os.urandom(random.randint(low, high)))
PY
        cp build/windows/tools/AppLaunch.exe "$release/AppLaunch.exe"
        rm -f "$root/build/bench/release.history"
        build/host/tools/quorvel-publish publish "$release" --key tests/keys/release-test.key \
            --allow-readable-key --history "$root/build/bench/release.history" >/dev/null
    fi
    local path
    while IFS= read -r path; do
        [ -f "$release/$path" ] ||
            no_figure "the release $release lacks $path: remove it to have it made afresh"
    done < <(list_paths "$release/filelist.txt")
    release_files=$(list_paths "$release/filelist.txt" | wc -l)
    release_bytes=$(list_paths "$release/filelist.txt" |
        (cd "$release" && xargs stat -c %s) | awk '{s += $1} END {print s}')
}

# The list paths of a list file, one a line.
list_paths() { tr -d '\r' < "$1" | cut -f1; }

# --- the update server, with a log of every request

# Serves the folder RELEASE on $port; the log is $work/requests.log. server_wrap: a command
# that runs the server in its place (bench/wan.sh runs it in a network namespace).
server_wrap=()
start_server() { # RELEASE
    mkdir -p "$work"
    rm -f "$work/port" "$work/requests.log"
    "${server_wrap[@]}" build/host/tools/update-server --root "$1" --port "$port" --port-file "$work/port" \
        --log "$work/requests.log" --max-seconds 7200 >"$work/server.out" 2>&1 &
    local pid=$!
    server_pid=$pid
    bench_cleanups+=("kill $pid 2>/dev/null")
    for _ in $(seq 100); do
        [ -s "$work/port" ] && break
        kill -0 "$pid" 2>/dev/null || no_figure "the update server did not start: $(cat "$work/server.out")"
        sleep 0.1
    done
    [ -s "$work/port" ] || no_figure "the update server did not start on port $port"
    base=http://127.0.0.1:$port$base_path
}

stop_server() {
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
}

# The number of requests logged so far: a mark for fetched_since.
log_mark() { wc -l < "$work/requests.log"; }

# The requests logged after MARK: the name asked for (below the release folder) and the
# status, one a line.
requests_since() { # MARK
    tail -n +"$(($1 + 1))" "$work/requests.log" |
        awk -v b="$base_path/" '{sub(/\?.*/, "", $2); sub("^" b, "", $2); print $2, $3}'
}

# Refuses the round unless the requests logged after MARK are exactly the files of LIST under
# RELEASE, each once, answered 200 with its whole size, plus the EXTRA names (each once, 200).
expect_fetched() { # WHAT MARK RELEASE LIST [EXTRA...]
    local what=$1 mark=$2 rel=$3 list=$4
    shift 4
    python3 - "$work/requests.log" "$mark" "$rel" "$list" "$base_path/" "$@" <<'PY' ||
import os, sys
log, mark, rel, listfile, base = sys.argv[1:6]
extra = sys.argv[6:]
want = [l.split("\t")[0] for l in open(listfile, newline="").read().split("\r\n") if l]
got = {}
for line in open(log).read().splitlines()[int(mark):]:
    method, target, status, size = line.rsplit(" ", 3)
    path = target.split("?")[0]
    if not path.startswith(base):
        sys.exit(f"asked for {path}, outside the release")
    name = path[len(base):]
    if status != "200":
        sys.exit(f"{name} was answered {status}")
    if name in got:
        sys.exit(f"{name} was asked for twice")
    got[name] = int(size)
for name in want:
    if name not in got:
        sys.exit(f"{name} was never asked for ({len(got)} requests)")
    if got.pop(name) != os.path.getsize(os.path.join(rel, name)):
        sys.exit(f"{name} was not answered with its whole length")
for name in extra:
    if got.pop(name, None) is None:
        sys.exit(f"{name} was never asked for")
if got:
    sys.exit(f"unexpected requests: {' '.join(sorted(got))}")
PY
        no_figure "$what: the server's log does not show the fetch expected"
}

# Refuses the round unless every file of LIST under RELEASE is in FOLDER with the same bytes.
expect_landed() { # WHAT RELEASE LIST FOLDER
    local path
    while IFS= read -r path; do
        cmp -s "$2/$path" "$4/$path" || no_figure "$1: $path did not land whole in $4"
    done < <(list_paths "$3")
}

# --- one running Wine session

# An operator starts a program on a desktop that is already running: one X display and one
# Wine session for every round (its server and services kept alive by an idle process), so
# that a round's start-up is a program's, not a whole Windows'. Xvfb runs no window manager,
# and Wine waits 2 s for one to withdraw a minimised window before it closes; a desktop's
# window manager answers at once, so Wine's windows are left unmanaged. A desktop session
# also has a resource database (xrdb); on a bare Xvfb without one, Xlib looks for the absent
# ~/.Xdefaults and ~/.Xdefaults-HOST at each of Wine's look-ups (about 77 opens a downloaded
# file in the label steps), so the prefix's home gets an empty one. Sets desktop. The
# wineserver makes the programs' sockets, so with client_wrap the session runs inside it.
start_session() {
    mkdir -p "$work"
    "${client_wrap[@]}" "$wine_run" "$bench_prefix" cmd /c exit >/dev/null 2>&1 || true
    [ -f "$bench_prefix/home/.Xdefaults" ] || : > "$bench_prefix/home/.Xdefaults"
    local display=90
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    bench_cleanups+=("kill $! 2>/dev/null")
    export DISPLAY=:$display
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    WINEPREFIX=$bench_prefix wineserver -w
    WINEPREFIX=$bench_prefix "${client_wrap[@]}" wineserver -p
    bench_cleanups+=("WINEPREFIX=$bench_prefix wineserver -k 2>/dev/null")
    rm -f "$work/idle" && mkfifo "$work/idle"
    "${client_wrap[@]}" "$wine_run" "$bench_prefix" cmd < "$work/idle" >/dev/null 2>&1 &
    bench_cleanups+=("kill $! 2>/dev/null")
    exec 7> "$work/idle" # the idle process ends when this closes
    sleep 2
    "${client_wrap[@]}" "$wine_run" "$bench_prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        >/dev/null 2>&1
    desktop=$(find "$bench_prefix/drive_c/users" -mindepth 2 -maxdepth 2 -name Desktop \
        ! -path '*/Public/*' | head -n 1)
    [ -n "$desktop" ] || no_figure "the Wine prefix has no desktop folder"
}

# The process id of the session's wineserver: the one whose folder is named for the prefix.
session_wineserver() {
    local id pid
    id=server-$(stat -c '%d %i' "$bench_prefix" | awk '{printf "%x-%x", $1, $2}')
    for pid in $(pgrep wineserver); do
        [ "$(basename "$(readlink "/proc/$pid/cwd")")" = "$id" ] && echo "$pid" && return
    done
    no_figure "no wineserver runs for $bench_prefix"
}

# Runs a Windows program in the session; its output on stdout, CR removed; what it said on
# stderr is kept for wine_said.
wine_in_session() { # PROGRAM ARGS...
    "${client_wrap[@]}" "$wine_run" "$bench_prefix" "$@" 2>"$work/wine.err" | tr -d '\r'
}
wine_said() { tr -d '\r' < "$work/wine.err" | grep -v '^[0-9a-f]*:fixme:' | tail -n 3; }

# Copies a Windows program into the prefix as C:\FOLDER\NAME.
install_program() { # FILE FOLDER [NAME]
    mkdir -p "$bench_prefix/drive_c/$2"
    cp "$1" "$bench_prefix/drive_c/$2/${3:-$(basename "$1")}"
}

# --- the rounds the fetch benchmarks share

# One start-up fetch by the Quorvel.exe at C:\FOLDER\Quorvel.exe into the desktop folder,
# timed from its start until it has closed. Prints the seconds, and only when the run ended
# as it must: every file of the release asked for once and whole (with the list and the
# EXTRA names), every file landed with the release's bytes, the launcher started and no
# record of an unfinished run left. A run still open after bench_run_limit seconds (a
# message box waits for an answer) is refused.
# client_wrap: a command that runs the clients (the program, curl) in their place
# (bench/wan.sh runs them in a network namespace).
bench_run_limit=${BENCH_RUN_LIMIT:-300}
client_wrap=()
quorvel_round() { # FOLDER [EXTRA...]
    local folder=$1 mark target="$desktop/Tarnell Temp Files" seconds
    shift
    rm -rf "$target"
    mark=$(log_mark)
    seconds=$(seconds_of timeout "$bench_run_limit" "${client_wrap[@]}" "$wine_run" "$bench_prefix" \
        "C:\\$folder\\Quorvel.exe") ||
        no_figure "C:\\$folder\\Quorvel.exe did not close within $bench_run_limit s (a message box waits?); the server was asked for $(($(log_mark) - mark)) files"
    # The launcher it starts outlives it in the running session.
    for _ in $(seq 100); do
        [ -f "$target/AppLaunch.exe.started" ] && break
        sleep 0.1
    done
    [ -f "$target/AppLaunch.exe.started" ] || no_figure "C:\\$folder\\Quorvel.exe did not start the launcher"
    [ ! -e "$target/PelmoraUpdaterRun.txt" ] || no_figure "C:\\$folder\\Quorvel.exe left the record of an unfinished run"
    expect_fetched "C:\\$folder\\Quorvel.exe" "$mark" "$release" "$release/filelist.txt" filelist.txt "$@"
    expect_landed "C:\\$folder\\Quorvel.exe" "$release" "$release/filelist.txt" "$target"
    echo "$seconds"
}

# The same files fetched by curl over one connection, each with a query as the updater sends;
# with "sync", until they are on the disk, as the updater's downloads are. curl_options: more
# of curl's options (bench/wan.sh: several transfers at once). With curl_list_first set
# (bench/wan.sh), curl first fetches the list, and then the files the fetched list names, as
# the updater must: a client cannot ask for files before it has the list that names them.
curl_options=()
curl_list_first=
curl_round() { # [sync]
    local into=$work/curl seconds mark
    rm -rf "$into" && mkdir -p "$into"
    [ -n "$curl_list_first" ] || curl_config "$release/filelist.txt"
    mark=$(log_mark)
    seconds=$(seconds_of curl_fetch "${1:-}") || no_figure "curl failed: $(cat "$work/last.out")"
    expect_fetched curl "$mark" "$release" "$release/filelist.txt" ${curl_list_first:+filelist.txt}
    expect_landed curl "$release" "$release/filelist.txt" "$into"
    echo "$seconds"
}

# curl's config for the files a list names.
curl_config() { # LIST
    list_paths "$1" |
        awk -v b="$base" -v d="$work/curl" '{print "url = \"" b "/" $0 "?fakevariable=1\"\noutput = \"" d "/" $0 "\""}' \
        > "$work/curl.config"
}

curl_fetch() { # [sync]
    if [ -n "$curl_list_first" ]; then
        "${client_wrap[@]}" curl -s --fail -o "$work/curl-list.txt" "$base/filelist.txt?fakevariable=1" &&
            curl_config "$work/curl-list.txt" || return 1
    fi
    "${client_wrap[@]}" curl -s --fail --create-dirs "${curl_options[@]}" -K "$work/curl.config"
    if [ "$1" = sync ]; then sync; fi
}

# What the same Windows needs by itself: transfer-floors (at C:\Quorvel) MODE ARGS; the
# download modes fetch the release's list (C:\Quorvel\bench-list.txt) into one temporary
# file, and are refused unless the server sent every listed file whole.
floor_round() { # MODE ARGS...
    local mark seconds
    mark=$(log_mark)
    seconds=$(wine_in_session 'C:\Quorvel\transfer-floors.exe' "$@") ||
        no_figure "transfer-floors $1 failed: $(wine_said)"
    expect_number "transfer-floors $1" "$seconds"
    if [ "$1" != labels ]; then
        expect_fetched "transfer-floors $1" "$mark" "$release" "$release/filelist.txt"
    fi
    echo "$seconds"
}
downloads_floor_round() { # downloads|hashed
    floor_round "$1" "$base/" 'C:\Quorvel\bench-list.txt' 'C:\Quorvel\floor.tmp'
}

# The same downloads, each moved into its own place below an empty C:\Quorvel\placed\ (its
# folders made once): the least file work a fetch into empty folders needs. Refused unless
# every file landed whole.
placed_floor_round() {
    local into=$bench_prefix/drive_c/Quorvel/placed
    rm -rf "$into" && mkdir -p "$into"
    floor_round placed "$base/" 'C:\Quorvel\bench-list.txt' 'C:\Quorvel\floor.tmp' 'C:\Quorvel\placed\'
    expect_landed "transfer-floors placed" "$release" "$release/filelist.txt" "$into"
}

# Starting a program in the running session, and its ending.
wine_start_round() {
    seconds_of "${client_wrap[@]}" "$wine_run" "$bench_prefix" cmd /c exit ||
        no_figure "cmd /c exit failed under Wine"
}

# --- timing

now() { date +%s.%N; }

# The seconds a command takes, its output put aside in $work/last.out; its status is kept.
seconds_of() { # COMMAND...
    local t0 status=0
    t0=$(now)
    "$@" >"$work/last.out" 2>&1 || status=$?
    echo "$(now) - $t0" | bc
    return $status
}

# Figures of a file, one a line (the first field of each): the median, the lowest and
# highest, and the three as "median (lowest-highest)".
median() { sort -n "$1" | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
spread() { sort -n "$1" | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.2f-%.2f", lo, hi}'; }
figure() { printf '%.2f (%s)' "$(median "$1")" "$(spread "$1")"; }

# A fresh file of figures in $work for each name given.
new_figures() { # NAME...
    local name
    for name in "$@"; do : > "$work/$name.times"; done
}

# A number, or the round is refused.
expect_number() { # WHAT TEXT
    [[ "$2" =~ ^[0-9]+(\.[0-9]+)?$ ]] || no_figure "$1 printed '$2', not a figure"
}

# How busy the processors are over two seconds, in per cent: sampled before the first
# round (nothing of the bench runs then) and after the last, so that a figure taken while
# other work ran beside it says so. The load average would count the bench's own last minute.
cpu_busy() {
    local a b
    a=$(awk '/^cpu / {print $2 + $3 + $4 + $7 + $8, $5 + $6}' /proc/stat)
    sleep 2
    b=$(awk '/^cpu / {print $2 + $3 + $4 + $7 + $8, $5 + $6}' /proc/stat)
    echo "$a $b" | awk '{busy = $3 - $1; idle = $4 - $2; printf "%.0f", busy * 100 / (busy + idle)}'
}
note_load() { # start|end
    local busy
    busy=$(cpu_busy)
    echo "processors busy with other work ($1): $busy %"
    if [ "$busy" -gt 15 ]; then
        echo "note: other work was running on this machine; these figures are not an idle machine's"
    fi
}
