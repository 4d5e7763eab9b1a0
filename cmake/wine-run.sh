#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build's own, never the user's.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is made on first use. Its home and shell folders are real folders inside
# the prefix, so nothing a program writes to its desktop lands in the real home folder.
# Without a display the program runs under Xvfb.
set -euo pipefail
prefix=$1
shift

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export HOME=$prefix/home
mkdir -p "$HOME"

make_prefix() {
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    local users="$WINEPREFIX/drive_c/users"
    local d link
    for d in "$users"/*/; do
        for link in Desktop Documents Downloads Music Pictures Videos Templates; do
            if [ -L "$d$link" ]; then
                rm -f "$d$link"
                mkdir -p "$d$link"
            fi
        done
    done
    if [ -L "$users/Public/Documents" ]; then
        rm -f "$users/Public/Documents"
        mkdir -p "$users/Public/Documents"
    fi
    touch "$WINEPREFIX/.quorvel-ready"
}

if [ ! -f "$prefix/.quorvel-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    [ -f "$prefix/.quorvel-ready" ] || make_prefix
    flock -u 9
fi

if [ -n "${DISPLAY:-}" ]; then
    exec wine "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" wine "$@"
