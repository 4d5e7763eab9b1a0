#!/usr/bin/env bash
# The no-change normal-mode run under Wine, per list entry, at 1,000 / 5,000 / 20,000 entries
# in two layouts: 100 files a folder, and one folder per file under one parent. Each run
# makes the target folders of every row (present) and a new backup skeleton (missing).
# Beside each, Wine's own floor: the time it needs to make as many new folders in one
# parent as the skeleton's largest parent gets (each new name is checked against every
# sibling in every letter case, so that floor grows with the square of the count).
#   bench/nochange.sh [PORT] [SIZES]
# PORT: the update server's loopback port, by default the windows build's QUORVEL_E2E_PORT,
# which the program asks. SIZES: entry counts, by default "1000 5000 20000" (one folder per
# file at 20,000 takes Wine about a quarter of an hour).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cmake --build --preset host --target update-server >/dev/null
cmake --build --preset windows --target no-change-run >/dev/null
configured=$(grep -m1 '^QUORVEL_E2E_PORT' build/windows/CMakeCache.txt | cut -d= -f2)
port=${1:-$configured}
sizes=${2:-1000 5000 20000}
if [ "$port" != "$configured" ]; then
    echo "the windows build asks port $configured: cmake --preset windows -DQUORVEL_E2E_PORT=$port" >&2
    exit 2
fi

work=$root/build/bench/nochange
prefix=$root/build/windows/bench-prefix
rm -rf "$work" && mkdir -p "$work/release"
cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true
# Without a window manager Wine waits 2 s for a minimised window; a desktop answers at once.
cmake/wine-run.sh "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1
build/host/tools/update-server --root "$work/release" --port "$port" --port-file "$work/port" \
    --max-seconds 1800 >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done

mkdir -p "$prefix/drive_c/bench-nochange/a/b/c/d"
check=$(cmake/wine-run.sh "$prefix" build/windows/bench/no-change-run.exe --exists 100000 \
    'C:\bench-nochange\a\b\c\d' 2>/dev/null | tr -d '\r')
awk -v s="$check" 'BEGIN { printf "Wine: one check that a folder 4 levels deep exists: %.1f us\n", s * 10 }'
echo "layout                      entries   run (s)   per entry (us)   backup folders   Wine floor (s)"
for layout in per-folder-100 folder-per-file; do
    for n in $sizes; do
        install=$prefix/drive_c/bench-nochange/$layout-$n
        rm -rf "$prefix/drive_c/bench-nochange" && mkdir -p "$install"
        python3 - "$layout" "$n" "$work/release/filelist.txt" <<'PY'
import sys
layout, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
lines = []
for i in range(n):
    folder = f"d{i // 100}" if layout == "per-folder-100" else f"files/d{i}"
    lines.append(f"{folder}/f{i}.dll\t2026-12-09\r\n")
open(out, "w", newline="").write("".join(lines))
PY
        cp "$work/release/filelist.txt" "$install/PelmoraUpdaterList.txt"
        seconds=$(cmake/wine-run.sh "$prefix" build/windows/bench/no-change-run.exe \
            "C:\\bench-nochange\\$layout-$n\\" 2>"$work/boxes" | tr -d '\r')
        skeleton=$(find "$install/UpdateBackup" -mindepth 1 -type d | wc -l)
        siblings=$n
        if [ "$layout" = per-folder-100 ]; then siblings=$(((n + 99) / 100)); fi
        floor=$(cmake/wine-run.sh "$prefix" build/windows/bench/no-change-run.exe --siblings \
            "$siblings" "C:\\bench-nochange\\siblings" 2>/dev/null | tr -d '\r')
        awk -v l="$layout" -v n="$n" -v s="$seconds" -v k="$skeleton" -v f="$floor" \
            'BEGIN { printf "%-26s %8d %9.2f %12.0f %12d %12.2f\n", l, n, s, s * 1e6 / n, k, f }'
    done
done
rm -rf "$prefix/drive_c/bench-nochange"
