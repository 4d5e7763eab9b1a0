#!/usr/bin/env bash
# The main job, on a fresh Debian machine: sets up what is missing, builds Quorvel.exe,
# serves the sample release from the local update server (127.0.0.1:8480, the host the
# default build asks), runs Quorvel.exe under Wine on the user's display (or under Xvfb
# when there is none), and shows what landed in the desktop folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
echo "== building"
cmake --preset host >/dev/null
cmake --build --preset host --target update-server quorvel-publish >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target Quorvel AppLaunch >/dev/null

demo=$root/build/demo
prefix=$root/build/windows/demo-prefix
rm -rf "$demo/release"
mkdir -p "$demo"
cp -r examples/release "$demo/release"
cp build/windows/tools/AppLaunch.exe "$demo/release/AppLaunch.exe"

# The maker's side: the release tool writes the list (order kept, new launcher stamped),
# signs it with the demo's own key and checks the folder as a protected updater would.
echo "== publishing the release with quorvel-publish"
publish=build/host/tools/quorvel-publish
if [ ! -f "$demo/maker.key" ]; then
    "$publish" keygen "$demo/maker.key" | sed 's/^/  /'
fi
# The sample's list is unsigned: the number of the first signed release is given; later
# runs continue from the release history beside the key.
first=()
[ -f "$demo/maker.key.history" ] || first=(--release 1)
"$publish" publish "$demo/release" --key "$demo/maker.key" "${first[@]}" | sed 's/^/  /'
"$publish" verify "$demo/release" --public "$("$publish" public "$demo/maker.key")" | sed 's/^/  /'

echo "== update server on 127.0.0.1:8480"
rm -f "$demo/port" "$demo/requests.log"
build/host/tools/update-server --root "$demo/release" --port 8480 --port-file "$demo/port" \
    --log "$demo/requests.log" --max-seconds 600 >"$demo/server.out" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$demo/port" ] && break; sleep 0.1; done
if [ ! -s "$demo/port" ]; then
    echo "The update server did not start (is port 8480 in use?):" >&2
    cat "$demo/server.out" >&2
    exit 1
fi

# The demo prefix's own desktop, never the user's: start from an empty download folder.
cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true
desktop=$(find "$prefix/drive_c/users" -mindepth 2 -maxdepth 2 -name Desktop ! -path '*/Public/*' | head -n 1)
rm -rf "$desktop/Tarnell Temp Files"

echo "== running Quorvel.exe"
cmake/wine-run.sh "$prefix" "$root/build/windows/src/Quorvel.exe" 2>"$demo/wine.log" || true

target="$desktop/Tarnell Temp Files"
echo "== what landed in the desktop folder ($target)"
if [ -d "$target" ]; then
    (cd "$target" && find . -type f | sort | sed 's|^\./|  |')
else
    echo "  nothing: the folder was not made"
fi
if [ -f "$target/AppLaunch.exe.started" ]; then
    echo "== the launcher AppLaunch.exe ran: $(tr -d '\r' < "$target/AppLaunch.exe.started")"
else
    echo "== the launcher did not run"
fi
echo "== requests the server answered"
sed 's/^/  /' "$demo/requests.log"
