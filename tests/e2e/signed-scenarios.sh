#!/usr/bin/env bash
# End-to-end scenarios of the protected updater: Quorvel.exe built with the public half of
# tests/keys/release-test.key, under Wine, against releases that quorvel-publish signed.
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
source "$source/tests/e2e/lib.sh"

prepare_download_folder() {
    target="$desktop/Tarnell Temp Files"
    rm -rf "$target"
}

# The sample release with the launcher, published and signed by the tool. Its list is
# unsigned, so the tool takes the number of its first signed release only when given.
stage_release() { # [publish options...]
    copy_sample_release
    [ $# -gt 0 ] || set -- --release 1
    sign "$@"
}

sign() {
    "$publish" publish "$work/release" --key "$test_key" "$@" >"$work/publish.out" 2>&1 ||
        fail "publish: $(cat "$work/publish.out")"
}

expect_requested() { # path...
    local expected actual
    expected=$(printf '%s\n' "$@")
    actual=$(requested)
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

# What lies in the download folder, with each file's hash.
snapshot() { (cd "$target" 2>/dev/null && find . -type f -exec sha256sum {} + | sort) || true; }

# Refused before anything is fetched: one box, nothing on disk, only list and signature asked.
expect_list_refused() { # reason
    local before
    before=$(snapshot)
    drive wait-boxes=1 close wait-exit
    expect_log <<LOG
BOX Download Error|The update list is not a release signed by Tarnell: $1.\nNothing was installed. Please contact Tarnell.|OK
EXIT 0
LOG
    expect_requested filelist.txt filelist.txt.sig
    [ "$(snapshot)" = "$before" ] || fail "the download folder changed: $(ls -R "$target")"
    [ ! -e "$drive_c/Quorvel/PelmoraUpdaterList.txt" ] || fail "the refused list was kept"
    [ ! -e "$drive_c/Quorvel/PelmoraUpdaterList.sig" ] || fail "the refused signature was kept"
    [ ! -e "$target/AppLaunch.exe.started" ] || fail "the launcher started"
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
    expect_requested filelist.txt filelist.txt.sig AppLaunch.exe Pelmora.exe bin/core.dll \
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
    expect_list_refused "its signature belongs to another list"
}

scenario_signed_missing_signature() {
    stage_release
    rm "$work/release/filelist.txt.sig"
    start_server
    expect_list_refused "its signature file could not be fetched"
}

scenario_signed_foreign_signature() {
    stage_release
    rm -f "$work/foreign.key"
    "$publish" keygen "$work/foreign.key" >/dev/null
    "$publish" publish "$work/release" --key "$work/foreign.key" >/dev/null
    start_server
    expect_list_refused "its signature was not made with Tarnell's key"
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
    # release, so 5's signature goes first.
    rm "$work/release/filelist.txt.sig"
    sign --release 3
    : > "$work/requests.log"
    expect_list_refused "it is release 3, older than release 5 already in place"
    cmp -s "$target/Pelmora.exe" "$work/release-5/Pelmora.exe" || fail "release 5 was touched"
}

# A file changed on the server after signing: a failed download, the file not installed.
scenario_signed_tampered_file() {
    stage_release
    printf 'tampered\r\n' >> "$work/release/bin/ui.dll"
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
    ! requested | grep -qx data/maps/world.dat || fail "the run went on after the refusal"
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
    printf 'planted' >> "$work/release/AppLaunch.exe"
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
