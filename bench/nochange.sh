#!/usr/bin/env bash
# The no-change normal-mode run under Wine, per list entry, at 1,000 / 5,000 / 20,000 entries
# in two layouts: 100 files a folder, and one folder per file under one parent. The
# installation is really unchanged: every listed file is in place and its local list is the
# served one. Each run makes the target folders of every row (present) and a new backup
# skeleton (missing). A figure is printed only when both runs (an untimed one, as an earlier
# update, and the timed one) ended with "All Pelmora files are new. No update required.",
# fetched the list alone and made the backup folder of every row.
# Beside each, Wine's own floor: the time it needs to make as many new folders in one
# parent as the skeleton's largest parent gets (each new name is checked against every
# sibling in every letter case, so that floor grows with the square of the count).
#   bench/nochange.sh [PORT] [SIZES]
# PORT: a free loopback port, which becomes the windows build's QUORVEL_E2E_PORT (the program
# asks it); without it the port already configured is used. SIZES: entry counts, by default
# "1000 5000 20000".
set -euo pipefail
source "$(dirname "$0")/lib.sh"
sizes=${2:-1000 5000 20000}

build_host update-server
build_windows "${1:-}" no-change-run
work=$root/build/bench/nochange
note_load start
rm -rf "$work" && mkdir -p "$work/release"
start_server "$work/release"
start_session
install_program build/windows/bench/no-change-run.exe bench-tools
runner='C:\bench-tools\no-change-run.exe'
installs=$bench_prefix/drive_c/bench-nochange

# The list of N entries in LAYOUT, served, and an installation that holds every listed file
# and the same list as its local list.
make_installation() { # LAYOUT N INSTALL
    python3 - "$@" "$work/release/filelist.txt" <<'PY'
import os, sys
layout, n, install, out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
lines = []
for i in range(n):
    folder = f"d{i // 100}" if layout == "per-folder-100" else f"files/d{i}"
    os.makedirs(os.path.join(install, folder), exist_ok=True)
    with open(os.path.join(install, folder, f"f{i}.dll"), "wb") as f:
        f.write(b"installed")
    lines.append(f"{folder}/f{i}.dll\t2026-12-09\r\n")
open(out, "w", newline="").write("".join(lines))
PY
    cp "$work/release/filelist.txt" "$3/PelmoraUpdaterList.txt"
}

mkdir -p "$installs/a/b/c/d"
check=$(wine_in_session "$runner" --exists 100000 'C:\bench-nochange\a\b\c\d')
expect_number "the existence check" "$check"
awk -v s="$check" 'BEGIN { printf "Wine: one check that a folder 4 levels deep exists: %.1f us\n", s * 10 }'
echo "layout                      entries   run (s)   per entry (us)   backup folders   Wine floor (s)"
for layout in per-folder-100 folder-per-file; do
    for n in $sizes; do
        install=$installs/$layout-$n
        rm -rf "$installs" && mkdir -p "$install"
        make_installation "$layout" "$n" "$install"
        mark=$(log_mark)
        seconds=$(wine_in_session "$runner" "C:\\bench-nochange\\$layout-$n\\") ||
            no_figure "$layout $n: $(wine_said)"
        expect_number "no-change-run" "$seconds"
        asked=$(requests_since "$mark" | sort | uniq -c | awk '{print $1, $2, $3}')
        [ "$asked" = "2 filelist.txt 200" ] ||
            no_figure "$layout $n: the two runs asked for more than the list: $asked"
        # The timed run's skeleton: the newest run folder, every folder of the list below it.
        folders=$((n / 100 + (n % 100 > 0)))
        [ "$layout" = per-folder-100 ] || folders=$((n + 1))
        newest=$(find "$install/UpdateBackup" -mindepth 1 -maxdepth 1 -type d -printf '%T@ %p\n' |
            sort -n | tail -n 1 | cut -d' ' -f2-)
        skeleton=$(find "$newest" -mindepth 1 -type d | wc -l)
        [ "$skeleton" -eq "$folders" ] ||
            no_figure "$layout $n: the timed run made $skeleton backup folders, not $folders"
        siblings=$n
        [ "$layout" = folder-per-file ] || siblings=$((folders))
        floor=$(wine_in_session "$runner" --siblings "$siblings" 'C:\bench-nochange\siblings')
        expect_number "the siblings floor" "$floor"
        awk -v l="$layout" -v n="$n" -v s="$seconds" -v k="$skeleton" -v f="$floor" \
            'BEGIN { printf "%-26s %8d %9.2f %12.0f %12d %12.2f\n", l, n, s, s * 1e6 / n, k, f }'
    done
done
note_load end
rm -rf "$installs"
