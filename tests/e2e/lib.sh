# What the end-to-end scenario scripts share: the prefix and its programs, the update server,
# the operator (quorvel-driver) and the checks. Sourced after these are set:
#   build source scenario   the build folder, the source folder, the scenario's name
#   prefix work             the Wine prefix and the scenario's own folder
#   server port             the update server program and the loopback port it takes
#   updater                 the Quorvel.exe to run

drive_c=$prefix/drive_c
wine_run=$source/cmake/wine-run.sh
# The server's folder of a release, as the updater asks for it (no closing "/").
base=$("$source/scripts/base-path.sh")

fail() {
    echo "FAIL [$scenario]: $*" >&2
    echo "--- driver log" >&2
    cat "$drive_c/e2e/driver.log" >&2 2>/dev/null || true
    echo "--- server log" >&2
    cat "$work/requests.log" >&2 2>/dev/null || true
    exit 1
}

# The prefix with the updater and the driver inside, its Z: drive unmapped so that nothing
# outside it is scanned; sets user_dir and desktop.
prepare_prefix() {
    if [ ! -f "$prefix/.quorvel-e2e" ]; then
        "$wine_run" "$prefix" cmd /c exit >/dev/null 2>&1 || true
        touch "$prefix/.quorvel-e2e"
    fi
    rm -f "$prefix/dosdevices/z:"
    user_dir=$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
    desktop="$user_dir/Desktop"
    mkdir -p "$drive_c/Quorvel" "$drive_c/e2e" "$desktop"
    cp "$updater" "$drive_c/Quorvel/Quorvel.exe"
    cp "$build/tests/quorvel-driver.exe" "$drive_c/e2e/quorvel-driver.exe"
    rm -rf "$drive_c/Quorvel/PelmoraUpdaterParts"
    rm -f "$drive_c/Quorvel/PelmoraUpdaterList.txt" "$drive_c/Quorvel/PelmoraUpdaterList.sig" \
        "$drive_c/Quorvel/temp1234.\$\$\$" "$drive_c/e2e/driver.log"
}

# The sample release of examples/release with the launcher, in the scenario's folder.
copy_sample_release() {
    rm -rf "$work/release"
    mkdir -p "$work"
    cp -r "$source/examples/release" "$work/release"
    cp "$build/tools/AppLaunch.exe" "$work/release/AppLaunch.exe"
    : > "$work/faults"
}

# The update server on the scenario's release, with the faults of $work/faults.
start_server() {
    rm -f "$work/port" "$work/requests.log"
    [ -f "$work/faults" ] || : > "$work/faults"
    "$server" --root "$work/release" --port "$port" --port-file "$work/port" \
        --log "$work/requests.log" --faults "$work/faults" --max-seconds 300 \
        >"$work/server.out" 2>&1 &
    server_pid=$!
    # Waited for, so that the next scenario finds its port free.
    trap 'kill $server_pid 2>/dev/null || true; wait $server_pid 2>/dev/null || true' EXIT
    await_port "$work/port" "the update server" "$work/server.out"
}

# Until a server has written the port it took, for 10 s at the most.
await_port() { # port-file what its-output
    for _ in $(seq 100); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    fail "$2 did not start: $(cat "$3")"
}

# The operator: quorvel-driver starts the updater and does what the arguments say.
drive() {
    rm -f "$drive_c/e2e/driver.log"
    "$wine_run" "$prefix" 'C:\e2e\quorvel-driver.exe' 'C:\e2e\driver.log' \
        'launch=C:\Quorvel\Quorvel.exe' "$@" >/dev/null 2>&1 ||
        fail "the driver stopped: $(grep ERROR "$drive_c/e2e/driver.log" 2>/dev/null)"
}

# What the operator saw, as the driver logged it, against standard input.
expect_log() {
    local expected actual
    expected=$(cat)
    actual=$(tr -d '\r' < "$drive_c/e2e/driver.log")
    [ "$actual" = "$expected" ] || fail "the operator saw
$actual
but expected
$expected"
}

expect_file() { # path content-file
    [ -f "$1" ] || fail "missing $1"
    cmp -s "$1" "$2" || fail "$1 differs from $2"
}

expect_no_file() { [ ! -e "$1" ] || fail "unexpected $1"; }

# The paths the server was asked for, in order, without the cache-busting query.
requested() { sed -E 's/^GET ([^? ]*).*/\1/; s|.*'"$base"'/||' "$work/requests.log"; }

# Runs the scenario named on the command line, once the script's own set-up is done.
run_scenario() {
    "scenario_$scenario"
    echo "PASS [$scenario]"
}
