#!/usr/bin/env bash
# Checks of the update server itself, on the host: it serves files whole, keeps one
# connection for many requests, and refuses a port that another server already holds.
#   server-checks.sh SERVER_BINARY WORKDIR
set -euo pipefail
server=$1
workdir=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$workdir" && mkdir -p "$workdir/release"
python3 -c "import sys; sys.stdout.buffer.write(bytes(i % 253 for i in range(3 << 20)))" \
    > "$workdir/release/big.bin"
: > "$workdir/release/empty.bin"
"$server" --root "$workdir/release" --port-file "$workdir/port" --max-seconds 60 \
    >"$workdir/first.out" 2>&1 &
first=$!
trap 'kill $first 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$workdir/port" ] && break; sleep 0.1; done
[ -s "$workdir/port" ] || fail "the server did not start: $(cat "$workdir/first.out")"
port=$(cat "$workdir/port")
base=http://127.0.0.1:$port/public/tarnell/software/updates/quorvel_installer

curl -sf -o "$workdir/big.got" "$base/big.bin" || fail "big.bin was not served"
cmp -s "$workdir/release/big.bin" "$workdir/big.got" || fail "big.bin arrived changed"
curl -sf -o "$workdir/empty.got" "$base/empty.bin" || fail "empty.bin was not served"
[ ! -s "$workdir/empty.got" ] || fail "empty.bin arrived with a body"

urls=()
for i in $(seq 12); do urls+=("$base/big.bin?n=$i"); done
connects=$(curl -sf -o /dev/null -o /dev/null -o /dev/null -o /dev/null -o /dev/null -o /dev/null \
    -o /dev/null -o /dev/null -o /dev/null -o /dev/null -o /dev/null -o /dev/null \
    -w '%{num_connects}\n' "${urls[@]}" | awk '{s += $1} END {print s}')
[ "$connects" = 1 ] || fail "12 requests took $connects connections, not 1"

if "$server" --root "$workdir/release" --port "$port" --max-seconds 5 >"$workdir/second.out" 2>&1; then
    fail "a second server started on port $port, which the first one holds"
fi
grep -q "cannot listen on 127.0.0.1:$port" "$workdir/second.out" ||
    fail "the second server did not say why it stopped: $(cat "$workdir/second.out")"
echo "update server: whole files, one connection for 12 requests, a held port refused"
