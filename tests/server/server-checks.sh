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
base_path=$("$(dirname "$0")/../../scripts/base-path.sh")
base=http://127.0.0.1:$port$base_path

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
# The awkward answers, as a client sees them on the wire.
kill $first 2>/dev/null || true
wait $first 2>/dev/null || true
head -c 10000 /dev/zero | tr '\0' 'c' > "$workdir/release/c.bin"
for name in chunked chunked-cut chunked-nolast nolength nolength-cut gzip; do
    cp "$workdir/release/c.bin" "$workdir/release/$name.bin"
done
cat > "$workdir/faults" <<FAULTS
chunked.bin chunked
chunked-cut.bin chunked 5000
chunked-nolast.bin chunked-nolast
nolength.bin nolength
nolength-cut.bin nolength 5000
gzip.bin encoding gzip
huge.bin huge 21474836480 3000000
endless-headers.bin endless-headers 2000000
header-trickle.bin header-trickle 1
FAULTS
rm -f "$workdir/port"
"$server" --root "$workdir/release" --port-file "$workdir/port" --faults "$workdir/faults" \
    --log "$workdir/requests.log" --max-seconds 60 >"$workdir/faults.out" 2>&1 &
first=$!
for _ in $(seq 100); do [ -s "$workdir/port" ] && break; sleep 0.1; done
base=http://127.0.0.1:$(cat "$workdir/port")$base_path
check() { # name expected-curl-exit expected-bytes header-pattern
    local code=0
    curl -s -D "$workdir/$1.headers" -o "$workdir/$1.got" "$base/$1.bin" || code=$?
    [ "$code" = "$2" ] || fail "$1: curl ended with $code, not $2"
    [ "$(stat -c %s "$workdir/$1.got")" = "$3" ] || fail "$1: $(stat -c %s "$workdir/$1.got") bytes, not $3"
    grep -qi "$4" "$workdir/$1.headers" || fail "$1: no header $4"
}
check chunked 0 10000 '^transfer-encoding: chunked'
check chunked-cut 18 5000 '^transfer-encoding: chunked'
check chunked-nolast 18 10000 '^transfer-encoding: chunked'
check nolength 0 10000 '^connection: close'
check nolength-cut 0 5000 '^connection: close'
check gzip 0 10000 '^content-encoding: gzip'
! grep -qi '^content-length' "$workdir/nolength-cut.headers" || fail "nolength-cut sent a length"
# Endless answers stop at their cap; trickled headers still make a whole answer.
check huge 18 3000000 '^content-length: 21474836480'
curl -s -o /dev/null --max-time 20 "$base/endless-headers.bin" 2>/dev/null || true
grep -q "GET .*endless-headers.bin 200 2000000" "$workdir/requests.log" ||
    fail "the endless headers were not answered: $(cat "$workdir/requests.log")"
cp "$workdir/release/c.bin" "$workdir/release/header-trickle.bin"
check header-trickle 0 10000 '^content-length: 10000'

# The command line, as a user meets it: help and version on standard output, usage errors
# named with a hint and exit 2, an unusable log an error.
usage() { # expected-exit pattern args...
    local want=$1 pattern=$2 code=0
    shift 2
    "$server" "$@" >"$workdir/cli.out" 2>"$workdir/cli.err" || code=$?
    [ "$code" = "$want" ] || fail "update-server $*: exit $code, not $want"
    grep -q -- "$pattern" "$workdir/cli.out" "$workdir/cli.err" || fail "update-server $*: no '$pattern'"
}
usage 0 '^usage: update-server' --help
usage 0 '^update-server [0-9]' --version
usage 2 'unknown option --nope' --root "$workdir/release" --nope
usage 2 '--port takes a number from 0 to 65535' --root "$workdir/release" --port 99999
usage 2 '--root DIR is required'
usage 1 'cannot write the log' --root "$workdir/release" --log "$workdir/no/such/folder/log"
echo "update server: whole files, one connection for 12 requests, a held port refused, awkward and endless answers as asked, a conventional command line"
