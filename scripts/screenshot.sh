#!/usr/bin/env bash
# Takes docs/window.png: Quorvel.exe under Wine and Xvfb while it fetches a file, which the
# update server holds back for a few seconds so the status labels can be seen.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/run.sh >/dev/null # builds, and leaves the staged release in build/demo

demo=$root/build/demo
prefix=$root/build/windows/demo-prefix
echo "bin/core.dll stall 6" > "$demo/faults"
build/host/tools/update-server --root "$demo/release" --port 8480 --port-file "$demo/port" \
    --faults "$demo/faults" --max-seconds 60 >/dev/null 2>&1 &
server=$!
Xvfb :77 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $server $xvfb 2>/dev/null || true' EXIT
sleep 1
desktop=$(find "$prefix/drive_c/users" -mindepth 2 -maxdepth 2 -name Desktop ! -path '*/Public/*' | head -n 1)
rm -rf "$desktop/Tarnell Temp Files"
DISPLAY=:77 cmake/wine-run.sh "$prefix" "$root/build/windows/src/Quorvel.exe" >/dev/null 2>&1 &
sleep 5
mkdir -p docs
DISPLAY=:77 import -window root -crop 560x110+120+245 docs/window.png
wait %3 2>/dev/null || true
echo "docs/window.png"
