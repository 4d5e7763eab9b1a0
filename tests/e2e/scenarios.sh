#!/usr/bin/env bash
# End-to-end scenarios: the shipped Quorvel.exe under Wine, against the update server on
# loopback, driven by quorvel-driver as an operator drives it.
#
#   scenarios.sh BUILD_DIR SOURCE_DIR UPDATE_SERVER PORT SCENARIO
#
# The prefix (BUILD_DIR/e2e-prefix) is made on first use: its Z: drive is unmapped so that
# nothing outside it is scanned, and P: is a test folder that holds the installation.
set -euo pipefail

build=$1
source=$2
server=$3
port=$4
scenario=$5

prefix=$build/e2e-prefix
work=$build/e2e-work/$scenario
drive_c=$prefix/drive_c
drive_p=$build/e2e-work/drive-p
base=/public/tarnell/software/updates/quorvel_installer
install="$drive_p/Pelmora 4.1.2"
marker_dir="$drive_c/users/Public/Documents/Pelmora Documents/system-do not touch"
wine_run=$source/cmake/wine-run.sh

fail() {
    echo "FAIL [$scenario]: $*" >&2
    echo "--- driver log" >&2
    cat "$drive_c/e2e/driver.log" >&2 2>/dev/null || true
    echo "--- server log" >&2
    cat "$work/requests.log" >&2 2>/dev/null || true
    exit 1
}

# --- the prefix, the installation drive, the programs inside the prefix

prepare_prefix() {
    if [ ! -f "$prefix/.quorvel-e2e" ]; then
        "$wine_run" "$prefix" cmd /c exit >/dev/null 2>&1 || true
        touch "$prefix/.quorvel-e2e"
    fi
    rm -f "$prefix/dosdevices/z:"
    mkdir -p "$drive_p"
    ln -sfn "$drive_p" "$prefix/dosdevices/p:"
    user_dir=$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
    desktop="$user_dir/Desktop"
    mkdir -p "$drive_c/Quorvel" "$drive_c/e2e" "$desktop"
    cp "$build/e2e/Quorvel.exe" "$drive_c/Quorvel/Quorvel.exe"
    cp "$build/tests/quorvel-driver.exe" "$drive_c/e2e/quorvel-driver.exe"
}

reset_machine() {
    if mountpoint -q "$drive_p" 2>/dev/null; then
        umount "$drive_p" || true
    fi
    rm -rf "$desktop/Tarnell Temp Files" "$desktop/Pelmora Updater Files" "$drive_p"/* \
        "$drive_c/users/Public/Documents/Pelmora Documents"
    rm -f "$drive_c/Quorvel/PelmoraUpdaterList.txt" "$drive_c/Quorvel/temp1234.\$\$\$" \
        "$drive_c/e2e/driver.log"
}

# --- the release and the server

stage_release() {
    rm -rf "$work/release"
    mkdir -p "$work"
    cp -r "$source/examples/release" "$work/release"
    cp "$build/tools/AppLaunch.exe" "$work/release/AppLaunch.exe"
    : > "$work/faults"
}

start_server() {
    rm -f "$work/port" "$work/requests.log"
    "$server" --root "$work/release" --port "$port" --port-file "$work/port" \
        --log "$work/requests.log" --faults "$work/faults" --max-seconds 300 \
        >"$work/server.out" 2>&1 &
    server_pid=$!
    trap 'kill $server_pid 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        [ -s "$work/port" ] && return 0
        sleep 0.1
    done
    fail "the update server did not start: $(cat "$work/server.out")"
}

# --- the operator

drive() {
    "$wine_run" "$prefix" 'C:\e2e\quorvel-driver.exe' 'C:\e2e\driver.log' \
        'launch=C:\Quorvel\Quorvel.exe' "$@" >/dev/null 2>&1 ||
        fail "the driver stopped: $(grep ERROR "$drive_c/e2e/driver.log" 2>/dev/null)"
}

# --- what must hold

expect_log() {
    local expected
    expected=$(cat)
    local actual
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

expect_requests() { # count of file requests other than the list
    local n
    n=$(grep -v "filelist.txt" "$work/requests.log" | grep -c . || true)
    [ "$n" = "$1" ] || fail "expected $1 file downloads, saw $n"
}

install_product() { # the installed Pelmora 4.1.2: old files, the launcher, its local list
    mkdir -p "$install/bin" "$install/data/maps" "$install/docs"
    for f in Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        printf 'old %s\r\n' "$f" > "$install/$f"
    done
    cp "$build/tools/AppLaunch.exe" "$install/AppLaunch.exe"
    cp "$work/release/filelist.txt" "$install/PelmoraUpdaterList.txt"
    mkdir -p "$marker_dir"
    printf 'marker' > "$marker_dir/PelmorEmpty.aaa"
}

# A release whose list names no launcher (so the start-up run ends without one and leaves
# the window to the operator) and in which three files changed since the installed list.
changed_release() {
    install_product
    # The installed list, row for row, with the launcher's row removed.
    grep -v AppLaunch "$install/PelmoraUpdaterList.txt" > "$install/list.tmp"
    mv "$install/list.tmp" "$install/PelmoraUpdaterList.txt"
    sed -E 's#^(Pelmora\.exe|bin/core\.dll|data/maps/world\.dat)\t.*$#\1\t2026-12-09 08:00\r#' \
        "$install/PelmoraUpdaterList.txt" > "$work/release/filelist.txt"
}

operator_updates_the_installation() {
    drive wait-minimised 'click=Manual Update' 'wait-enabled=Check Local Path' \
        'click=Check Local Path' 'wait-enabled=Download Files' "$@" 'click=Download Files' wait-exit
}

# --- the scenarios

# Start-up with no input: the release lands in the desktop folder, the launcher starts.
scenario_startup_fetch() {
    drive wait-exit
    expect_log <<< "EXIT 0"
    local target="$desktop/Tarnell Temp Files"
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$target/$f" "$work/release/$f"
    done
    expect_no_file "$target/PelmoraUpdaterList.txt"
    expect_no_file "$drive_c/Quorvel/temp1234.\$\$\$"
    [ -f "$target/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# A second start-up with the files already present fetches nothing again.
scenario_second_startup() {
    scenario_startup_fetch
    rm -f "$desktop/Tarnell Temp Files/AppLaunch.exe.started"
    : > "$work/requests.log"
    drive wait-exit
    expect_log <<< "EXIT 0"
    expect_requests 0
    grep -q "filelist.txt" "$work/requests.log" || fail "the list was not fetched"
    [ -f "$desktop/Tarnell Temp Files/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# Normal mode: the operator finds the installation and updates it.
scenario_normal_update() {
    changed_release
    operator_updates_the_installation
    expect_log <<'LOG'
BOX |3 Files Have been updated|OK
BOX |Pelmora has been updated to the latest version.\nPlease check version number in the top lefthand corner when running Pelmora.|OK
EXIT 0
LOG
    for f in Pelmora.exe bin/core.dll data/maps/world.dat; do
        expect_file "$install/$f" "$work/release/$f"
    done
    local backups=("$install"/UpdateBackup/*/)
    [ ${#backups[@]} = 1 ] || fail "expected one run backup folder"
    local backup=${backups[0]}
    for f in Pelmora.exe bin/core.dll data/maps/world.dat; do
        grep -q "old $f" "$backup/$f" || fail "the previous $f is not in $backup"
    done
    grep -q "old bin/ui.dll" "$install/bin/ui.dll" || fail "an unchanged file was replaced"
    [ -d "$backup/docs" ] || fail "the backup folder lacks the list's folders"
    grep -q marker "$backup/PelmorEmpty.aaa" || fail "the marker file was not moved"
    expect_no_file "$marker_dir/PelmorEmpty.aaa"
    expect_file "$install/PelmoraUpdaterList.txt" "$work/release/filelist.txt"
    [ -f "$install/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# A file answered 404: the message, nothing lost, no error page put in place.
scenario_file_not_found() { file_fault "status 404"; }

# The list cut short: the list message, no list and no file anywhere.
scenario_list_cut_short() { echo "filelist.txt cut 10" > "$work/faults"; list_fault; }

# A file held open by another program: its move fails, the previous version stays safe.
scenario_held_file() {
    changed_release
    operator_updates_the_installation 'hold=P:\Pelmora 4.1.2\bin\core.dll'
    expect_log <<'LOG'
BOX core.dll|Could not move files to the backup location.|OK
BOX Error|Please update the files manually.\nMake sure you are logged in as Administrator.\nContact Tarnell for help.|OK
EXIT 0
LOG
    grep -q "old bin/core.dll" "$install/bin/core.dll" || fail "the held file was lost"
    expect_file "$install/Pelmora.exe" "$work/release/Pelmora.exe"
    expect_no_file "$install/PelmoraUpdaterList.txt"
    [ -f "$install/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# --- network faults: each ends with its message, nothing lost, and no hang

# A listed file that does not arrive whole: the download message, no partial file kept.
file_fault() {
    echo "bin/ui.dll $1" > "$work/faults"
    drive wait-boxes=1 close wait-exit
    expect_log <<'LOG'
BOX ui.dll|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    local target="$desktop/Tarnell Temp Files"
    expect_file "$target/bin/core.dll" "$work/release/bin/core.dll"
    expect_no_file "$target/bin/ui.dll"
    expect_no_file "$drive_c/Quorvel/temp1234.\$\$\$"
    expect_no_file "$target/PelmoraUpdaterList.txt"
    ! grep -rq "injected error page" "$target" || fail "an error page was put in place"
}

scenario_file_500() { file_fault "status 500"; }
scenario_file_redirect_loop() { file_fault "redirect $base/bin/ui.dll"; }
scenario_file_cut() { file_fault "cut 7"; }
scenario_file_drop() { file_fault "drop"; }
# Held back past the updater's receive time-out (30 s).
scenario_file_stall() { file_fault "stall 50"; }

# The operator sees the list message once, the updater ends, and no file is asked for.
expect_list_refused() {
    drive wait-boxes=1 close wait-exit
    expect_log <<'LOG'
BOX Download Error|Could not file list. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    expect_requests 0
}

# A list that cannot be had: the list message, and nothing fetched.
list_fault() {
    expect_list_refused
    expect_no_file "$drive_c/Quorvel/PelmoraUpdaterList.txt"
    [ -z "$(ls -A "$desktop/Tarnell Temp Files" 2>/dev/null)" ] || fail "files were fetched"
}

scenario_list_404() { echo "filelist.txt status 404" > "$work/faults"; list_fault; }
scenario_list_500() { echo "filelist.txt status 500" > "$work/faults"; list_fault; }
# One byte arrives: too short to be a list. It stays in the updater's own folder only.
scenario_list_1_byte() {
    printf 'a' > "$work/release/filelist.txt"
    expect_list_refused
    expect_no_file "$desktop/Tarnell Temp Files/PelmoraUpdaterList.txt"
}

# A list of exactly two bytes is a list without entries: nothing to fetch, no launcher.
scenario_list_2_bytes() {
    printf '\r\n' > "$work/release/filelist.txt"
    drive wait-minimised close wait-exit
    expect_log <<< "EXIT 0"
    expect_requests 0
}

# --- a run ended by force, two updaters at once, a full installation drive

expect_release_installed() {
    for f in Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$install/$f" "$work/release/$f"
    done
    expect_file "$install/PelmoraUpdaterList.txt" "$work/release/filelist.txt"
    expect_no_file "$install/PelmoraUpdaterRun.txt"
    [ -z "$(find "$install" -name 'temp1234.$$$')" ] || fail "a staged file was left behind"
}

# After an interrupted or failed run, the next ordinary run fetches every listed file again
# and leaves the release whole in place.
operator_reruns_and_everything_is_new() {
    rm -f "$install/AppLaunch.exe.started"
    operator_updates_the_installation
    expect_log <<'LOG'
BOX |5 Files Have been updated|OK
BOX |Pelmora has been updated to the latest version.\nPlease check version number in the top lefthand corner when running Pelmora.|OK
EXIT 0
LOG
    expect_release_installed
    [ -f "$install/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# The files the start-up run would fetch are already on the desktop: it fetches nothing, so
# a fault meant for the normal-mode run does not hit it.
desktop_holds_the_release() {
    local target="$desktop/Tarnell Temp Files"
    mkdir -p "$target"
    (cd "$work/release" && cp --parents Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat \
        docs/readme.txt "$target/")
}

# Ended by force while the server holds a file back (the operator gives up on a window that
# does not answer), then run again as usual: the installation ends complete and correct.
scenario_killed_mid_download() {
    changed_release
    desktop_holds_the_release
    echo "bin/core.dll stall 40" > "$work/faults"
    drive wait-minimised 'click=Manual Update' 'wait-enabled=Check Local Path' \
        'click=Check Local Path' 'wait-enabled=Download Files' 'click=Download Files' \
        sleep=4000 kill
    expect_log <<< "KILLED"
    expect_file "$install/Pelmora.exe" "$work/release/Pelmora.exe"
    grep -q "old bin/core.dll" "$install/bin/core.dll" || fail "the held-back file's place is empty"
    : > "$work/faults"
    operator_reruns_and_everything_is_new
}

# A second updater, from another folder, while the first one fetches: it changes nothing,
# says so and ends; the first one's files arrive whole and it starts the launcher once.
scenario_two_copies() {
    mkdir -p "$drive_c/Quorvel2"
    cp "$build/e2e/Quorvel.exe" "$drive_c/Quorvel2/Quorvel.exe"
    echo "bin/ui.dll stall 3" > "$work/faults"
    drive 'start-second=C:\Quorvel2\Quorvel.exe' wait-exit-second wait-exit
    expect_log <<'LOG'
SECOND BOX Update Error|The updater is already running.\nPlease wait until it has finished. This copy has changed nothing and will now close.|OK
SECOND EXIT 0
EXIT 0
LOG
    local target="$desktop/Tarnell Temp Files"
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$target/$f" "$work/release/$f"
    done
    [ -f "$target/AppLaunch.exe.started" ] || fail "the launcher did not start"
    expect_no_file "$drive_c/Quorvel2/PelmoraUpdaterList.txt"
    expect_no_file "$drive_c/Quorvel2/temp1234.\$\$\$"
}

# The installation drive is full: the new core.dll cannot be copied onto it. No cut file at any
# target, the previous version back in place, the operator told; with room made, a rerun
# installs everything.
scenario_full_install_drive() {
    if ! mount -t tmpfs -o size=4m quorvel-e2e "$drive_p" 2>/dev/null; then
        echo "SKIP [$scenario]: no small drive can be mounted here (needs root)"
        exit 77
    fi
    trap 'kill $server_pid 2>/dev/null || true; umount "$drive_p" 2>/dev/null || true' EXIT
    changed_release
    head -c 600016 /dev/urandom > "$work/release/bin/core.dll"
    local avail
    avail=$(df --output=avail -B1 "$drive_p" | tail -n 1)
    head -c $((avail - 131072)) /dev/zero > "$drive_p/filler"
    operator_updates_the_installation
    expect_log <<'LOG'
BOX core.dll|Could not move downloaded file.|OK
BOX Error|Please update the files manually.\nMake sure you are logged in as Administrator.\nContact Tarnell for help.|OK
EXIT 0
LOG
    grep -q "old bin/core.dll" "$install/bin/core.dll" || fail "the previous core.dll is not back"
    expect_file "$install/Pelmora.exe" "$work/release/Pelmora.exe"
    [ -z "$(find "$install" -name 'temp1234.$$$')" ] || fail "a cut copy was left behind"
    rm -f "$drive_p/filler"
    operator_reruns_and_everything_is_new
}

prepare_prefix
reset_machine
stage_release
start_server
"scenario_$scenario"
echo "PASS [$scenario]"
