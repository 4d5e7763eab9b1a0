#!/usr/bin/env bash
# End-to-end scenarios of the protected updater: Quorvel.exe built with the public halves of
# tests/keys/release-test.key and (for key statements only) tests/keys/release-backup.key,
# under Wine, against releases that quorvel-publish signed.
# Each refusal is checked on disk and in the update server's request log.
#
#   signed-scenarios.sh BUILD_DIR SOURCE_DIR UPDATE_SERVER PUBLISH_TOOL PORT SCENARIO
set -euo pipefail

build=$1
source=$2
server=$3
publish=$4
port=$5
scenario=$6

prefix=$build/e2e-signed-prefix
work=$build/e2e-signed-work/$scenario
updater=$build/e2e-signed/Quorvel.exe
test_key=$source/tests/keys/release-test.key
backup_key=$source/tests/keys/release-backup.key
source "$source/tests/e2e/lib.sh"

prepare_download_folder() {
    target="$desktop/Tarnell Temp Files"
    rm -rf "$target"
}

# The sample release with the launcher, published and signed by the tool. Its list is
# unsigned, so the tool takes the number of its first signed release only when given.
stage_release() { # [publish options...]
    copy_sample_release
    rm -f "$work/release.history"
    [ $# -gt 0 ] || set -- --release 1
    sign "$@"
}

# The test key is in the source tree, readable by all; its release history is the
# scenario's own ($history, by default $work/release.history).
sign() {
    "$publish" publish "$work/release" --key "$test_key" --allow-readable-key \
        --history "${history:-$work/release.history}" "$@" >"$work/publish.out" 2>&1 ||
        fail "publish: $(cat "$work/publish.out")"
}

# The signature and the list first, then the files in any order: transfers at once are
# logged as each ends.
in_log_order() { awk 'NR <= 2 { print; next } { print | "sort" }'; }
expect_requested() { # path...
    local expected actual
    expected=$(printf '%s\n' "$@" | in_log_order)
    actual=$(requested | in_log_order)
    [ "$actual" = "$expected" ] || fail "the server was asked for
$actual
but expected
$expected"
}

expect_installed() { # every file of the release, byte for byte
    local f
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        cmp -s "$target/$f" "$work/release/$f" || fail "$f is not the release's"
    done
}

# A file's first byte changed on the way, its length kept: only its hash can tell.
tamper() { head -c 1 "$1" | tr '\000-\377' '\001-\377\000' | dd of="$1" bs=1 conv=notrunc status=none; }

# What lies in the download folder, with each file's hash.
snapshot() { (cd "$target" 2>/dev/null && find . -type f -exec sha256sum {} + | sort) || true; }

# Refused before anything is installed: one box, nothing on disk, only the paths given asked.
expect_refused() { # box-text path...
    local before text=$1
    shift
    before=$(snapshot)
    drive wait-boxes=1 close wait-exit
    expect_log <<LOG
BOX Download Error|$text|OK
EXIT 0
LOG
    expect_requested "$@"
    [ "$(snapshot)" = "$before" ] || fail "the download folder changed: $(ls -R "$target")"
    local left
    # The parts folder an earlier run made may stay, empty.
    left=$(ls -A "$drive_c/Quorvel" | grep -vx -e Quorvel.exe -e PelmoraUpdaterParts || true)
    [ -z "$left" ] || fail "left in the updater's folder: $left"
    [ -z "$(ls -A "$drive_c/Quorvel/PelmoraUpdaterParts" 2>/dev/null)" ] ||
        fail "parts left: $(ls -A "$drive_c/Quorvel/PelmoraUpdaterParts")"
    [ ! -e "$target/AppLaunch.exe.started" ] || fail "the launcher started"
}

expect_list_refused() { # reason path...
    local reason=$1
    shift
    expect_refused "The update list is not a release signed by Tarnell: $reason.\nNothing was installed. Please contact Tarnell." "$@"
}

# --- the scenarios

scenario_signed_good_release() {
    stage_release
    start_server
    drive wait-exit
    expect_log <<< "EXIT 0"
    expect_installed
    [ -f "$target/AppLaunch.exe.started" ] || fail "the launcher did not start"
    [ -f "$target/PelmoraUpdaterRelease.sig" ] || fail "the release number was not kept"
    expect_requested filelist.txt.sig filelist.txt AppLaunch.exe Pelmora.exe bin/core.dll \
        bin/ui.dll data/maps/world.dat docs/readme.txt
}

# A stamp changed on the way, with the file to match: the signature no longer fits the list.
scenario_signed_tampered_list() {
    stage_release
    printf 'planted' > "$work/release/Pelmora.exe"
    local hash
    hash=$(sha256sum "$work/release/Pelmora.exe" | cut -d' ' -f1)
    sed -i -E "s/^(Pelmora\.exe\t[^\t]*\tsha256=)[0-9a-f]{64}/\1$hash/" "$work/release/filelist.txt"
    grep -q "$hash" "$work/release/filelist.txt" || fail "the list was not changed"
    start_server
    expect_list_refused "its signature belongs to another list" filelist.txt.sig filelist.txt
}

scenario_signed_missing_signature() {
    stage_release
    rm "$work/release/filelist.txt.sig"
    start_server
    expect_list_refused "its signature file could not be fetched" filelist.txt.sig
}

scenario_signed_foreign_signature() {
    stage_release
    new_key foreign
    rm -f "$work/foreign.key.history" "$work/release/filelist.txt.sig"
    # The tool signs over no release of another key: the genuine signature goes first.
    "$publish" publish "$work/release" --key "$work/foreign.key" --release 1 >/dev/null
    start_server
    expect_untrusted "it is signed with key $(key_id "$work/foreign.key"), and this updater takes releases signed with key $(key_id "$test_key") only" filelist.txt.sig
}

# --- key statements

key_id() { "$publish" public "$1" | python3 -c 'import hashlib, sys; print(hashlib.sha256(bytes.fromhex(sys.stdin.read().strip())).hexdigest()[:16])'; }
# A fresh key: its release history goes with the old one, so a scenario run again starts anew.
new_key() { rm -f "$work/$1.key" "$work/$1.key.history"; "$publish" keygen "$work/$1.key" >/dev/null; }

expect_untrusted() { # reason path...
    local reason=$1
    shift
    expect_refused "The release on the update server is not one this updater can trust: $reason.\nNothing was installed. Please contact Tarnell." "$@"
}

# Release 1, signed with the test key, is installed.
install_first() {
    stage_release
    start_server
    drive wait-exit
    expect_installed
    rm "$target/AppLaunch.exe.started"
}

tool() { "$publish" "$@" >"$work/tool.out" 2>&1 || fail "$1: $(cat "$work/tool.out")"; }

# The next release starts as a copy of the one served ($work/next), with a changed product.
next_release() { # [folder to copy]
    rm -rf "$work/next"
    cp -a "${1:-$work/release}" "$work/next"
    printf 'product, next release\r\n' > "$work/next/Pelmora.exe"
}

# The server serves $work/next from now on.
switch_release() {
    [ -z "${server_pid:-}" ] || { kill "$server_pid" || true; wait "$server_pid" || true; } 2>/dev/null
    rm -rf "$work/release-old"
    mv "$work/release" "$work/release-old"
    mv "$work/next" "$work/release"
    start_server
}

# The next release, in which key $1 hands signing to key $2, signed with $2, is served.
serve_handed_over() { # key new-key
    next_release
    tool rotate "$work/next" --key "$1" --new-key "$2"
    tool publish "$work/next" --key "$2"
    switch_release
}

expect_next_installed() { # the statements expected first
    drive wait-exit
    expect_log <<< "EXIT 0"
    expect_installed
    rm "$target/AppLaunch.exe.started" || fail "the launcher did not start"
    [ "$(requested | head -n $(($# + 2)) | tr '\n' ' ')" = "filelist.txt.sig $* filelist.txt " ] ||
        fail "the run began with $(requested | head -n 3)"
}

# (a) The maker hands signing from the test key to B in a copy of the installed release.
scenario_signed_key_rotated() {
    install_first
    new_key b
    serve_handed_over "$test_key" "$work/b.key"
    expect_next_installed filelist.keys/1.txt
    [ -f "$target/PelmoraUpdaterKeys.txt" ] || fail "the key statement was not kept"
}

# (b) Someone else's key hands signing to another of theirs: refused, nothing listed fetched.
scenario_signed_foreign_chain() {
    stage_release
    new_key x
    new_key y
    serve_handed_over "$work/x.key" "$work/y.key"
    expect_untrusted "key statement 1 is not signed by a key this updater trusts for key statements" filelist.txt.sig filelist.keys/1.txt
}

# (c) The test key hands to B, then B (stolen) to C; the thief serves a release signed with B,
# numbered higher, beside the statement that named B.
scenario_signed_stolen_key() {
    install_first
    new_key b
    new_key c
    serve_handed_over "$test_key" "$work/b.key"
    expect_next_installed filelist.keys/1.txt
    rm -rf "$work/stolen"
    cp -a "$work/release" "$work/stolen"
    serve_handed_over "$work/b.key" "$work/c.key"
    expect_next_installed filelist.keys/2.txt
    next_release "$work/stolen"
    tool publish "$work/next" --key "$work/b.key" --release 9
    switch_release
    expect_untrusted "it is signed with key $(key_id "$work/b.key"), and this updater takes releases signed with key $(key_id "$work/c.key") only" filelist.txt.sig
}

# (d) Built trusting the test key and the backup key; the test key is lost, and the backup
# key hands signing to B.
scenario_signed_backup_key() {
    install_first
    new_key b
    serve_handed_over "$backup_key" "$work/b.key"
    expect_next_installed filelist.keys/1.txt
}

# Release 5 is installed; release 3, once genuine, is replayed with older files.
scenario_signed_replayed_release() {
    stage_release --release 5
    start_server
    drive wait-exit
    expect_installed
    rm "$target/AppLaunch.exe.started"
    cp -r "$work/release" "$work/release-5"
    printf 'old product\r\n' > "$work/release/Pelmora.exe"
    # Release 3 was signed before release 5; the tool numbers nothing at or below a known
    # release, so 5's signature goes first, and the history is another one.
    rm -f "$work/release/filelist.txt.sig" "$work/elsewhere.history"
    history=$work/elsewhere.history sign --release 3
    : > "$work/requests.log"
    expect_refused "The update server offered release 3, older than release 5 already in place, so the server may be out of date or the connection tampered with.\nNothing was installed. Please contact Tarnell." filelist.txt.sig
    cmp -s "$target/Pelmora.exe" "$work/release-5/Pelmora.exe" || fail "release 5 was touched"
}

# Release 5 is installed; another list signed with number 5 (published where the first was not
# known) is refused from its signature file alone, which stays as it was with everything else.
scenario_signed_same_number_replay() {
    stage_release --release 5
    start_server
    drive wait-exit
    expect_installed
    rm "$target/AppLaunch.exe.started"
    printf 'other product\r\n' > "$work/release/Pelmora.exe"
    rm -f "$work/release/filelist.txt" "$work/release/filelist.txt.sig" "$work/elsewhere.history"
    # The history would refuse the number: a maker who lost it (or a forger) signs here.
    history=$work/elsewhere.history sign --release 5
    : > "$work/requests.log"
    expect_refused "The update server offered release 5 with a list other than the one of release 5 already in place, so the connection may have been tampered with.\nNothing was installed. Please contact Tarnell." filelist.txt.sig
}

# The update server behind a relay on the scenario's port that counts what it passes to the
# updater: one line of bytes for each connection, in $work/relayed, once it closes.
start_counted_server() {
    local port=$((port + 1))
    start_server
    : > "$work/relayed"
    python3 - "$((port - 1))" "$port" "$work/relayed" <<'PY' &
import socket, sys, threading
listen, upstream, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
def pipe(src, dst, counted):
    total = 0
    try:
        while data := src.recv(1 << 16):
            dst.sendall(data)
            total += len(data)
    except OSError:
        pass
    for s in (src, dst):
        try: s.shutdown(socket.SHUT_RDWR)
        except OSError: pass
    if counted:
        with open(out, "a") as f: f.write(f"{total}\n")
server = socket.create_server(("127.0.0.1", listen))
while True:
    client, _ = server.accept()
    up = socket.create_connection(("127.0.0.1", upstream))
    threading.Thread(target=pipe, args=(client, up, False), daemon=True).start()
    threading.Thread(target=pipe, args=(up, client, True), daemon=True).start()
PY
    relay_pid=$!
    trap 'kill $relay_pid $server_pid 2>/dev/null || true; wait 2>/dev/null || true' EXIT
    sleep 0.5
}

# The first file announced as 200 MB and streamed as fast as it is taken: refused at once, as
# its stamp states another size. Little more than the listed size reaches the updater,
# nothing is written, nothing starts.
scenario_signed_endless_file() {
    stage_release
    echo "AppLaunch.exe huge 200000000 200000000" > "$work/faults"
    start_counted_server
    local listed relayed grown
    listed=$(sed -n 's/^AppLaunch\.exe\t.*\tsize=\([0-9]*\)\r$/\1/p' "$work/release/filelist.txt")
    grown=$(du -sb "$prefix" | cut -f1)
    drive wait-boxes=1/60 close wait-exit
    expect_log <<'LOG'
BOX AppLaunch.exe|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    sleep 1
    relayed=$(awk '{ n += $1 } END { print n + 0 }' "$work/relayed")
    grown=$(($(du -sb "$prefix" | cut -f1) - grown))
    echo "AppLaunch.exe listed at $listed bytes; $relayed bytes reached the updater; the prefix grew by $grown bytes"
    [ "$relayed" -lt $((listed + 8000000)) ] || fail "$relayed bytes reached the updater"
    [ "$grown" -lt 8000000 ] || fail "the prefix grew by $grown bytes"
    # The files after it may have been fetched ahead; none is installed.
    [ "$(requested | grep -cx AppLaunch.exe)" = 1 ] || fail "the endless file was asked again"
    [ "$(ls -A "$target")" = PelmoraUpdaterRelease.sig ] || fail "installed: $(ls -A "$target")"
    expect_no_file "$drive_c/Quorvel/temp1234.\$\$\$"
}

# A file changed on the server after signing: a failed download, the file not installed.
scenario_signed_tampered_file() {
    stage_release
    tamper "$work/release/bin/ui.dll"
    start_server
    drive wait-boxes=2 close wait-exit
    expect_log <<'LOG'
BOX Download Error|bin/ui.dll\nThe downloaded file is not the one the release signed by Tarnell names.\nIt was not installed.|OK
BOX ui.dll|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    [ ! -e "$target/bin/ui.dll" ] || fail "the tampered file was installed"
    [ ! -e "$drive_c/Quorvel/temp1234.\$\$\$" ] || fail "the tampered download was left"
    [ ! -e "$target/AppLaunch.exe.started" ] || fail "the launcher started"
    requested | grep -qx bin/ui.dll || fail "the file was not asked for"
    [ ! -e "$target/data/maps/world.dat" ] || fail "the run went on after the refusal"
}

# A launcher the signed release does not name, planted in the download folder.
scenario_signed_planted_launcher() {
    stage_release
    rm "$work/release/AppLaunch.exe"
    sign --allow-shift
    mkdir -p "$target"
    cp "$build/tools/AppLaunch.exe" "$target/AppLaunch.exe"
    printf 'planted' >> "$target/AppLaunch.exe"
    start_server
    drive wait-boxes=1 close wait-exit
    expect_log <<'LOG'
BOX Error|AppLaunch.exe is not the launcher of the release signed by Tarnell.\nIt was not started.|OK
EXIT 0
LOG
    [ ! -e "$target/AppLaunch.exe.started" ] || fail "the planted launcher started"
    cmp -s "$target/Pelmora.exe" "$work/release/Pelmora.exe" || fail "the release was not fetched"
    ! requested | grep -qx AppLaunch.exe || fail "a launcher was asked for"
}

# A launcher replaced on the server: refused as it arrives, never started.
scenario_signed_tampered_launcher() {
    stage_release
    tamper "$work/release/AppLaunch.exe"
    start_server
    drive wait-boxes=2 close wait-exit
    expect_log <<'LOG'
BOX Download Error|AppLaunch.exe\nThe downloaded file is not the one the release signed by Tarnell names.\nIt was not installed.|OK
BOX AppLaunch.exe|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    [ ! -e "$target/AppLaunch.exe" ] || fail "the replaced launcher was installed"
    [ ! -e "$target/AppLaunch.exe.started" ] || fail "the launcher started"
}

prepare_prefix
prepare_download_folder
run_scenario
