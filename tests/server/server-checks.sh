#!/usr/bin/env bash
# Checks of the update server itself, on the host: it serves files whole and in parts, keeps one
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
for name in chunked chunked-cut chunked-nolast nolength nolength-cut gzip bad-start bad-total late; do
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
bad-start.bin bad-range
bad-total.bin bad-range total
late.bin delay 1500
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

# Parts of a file: a Range is answered 206 from its first byte while If-Range names the file
# as it is (its strong ETag, or its Last-Modified once a second old), the whole file otherwise;
# a file written again gets new validators; the misfit faults name a part that does not fit.
python3 -c "import sys; sys.stdout.buffer.write(bytes(i % 241 for i in range(10000)))" \
    > "$workdir/release/range.bin"
touch -d '-10 seconds' "$workdir/release/range.bin"
check range 0 10000 '^etag: "'
validator() { grep -i "^$1:" "$workdir/${2:-range}.headers" | cut -d' ' -f2- | tr -d '\r'; }
etag=$(validator etag) modified=$(validator last-modified)
[ -n "$modified" ] || fail "range.bin came without a Last-Modified"
ask() { # name expected-status expected-bytes header-pattern curl-args...
    local name=$1 status=$2 bytes=$3 pattern=$4
    shift 4
    curl -s -D "$workdir/ask.headers" -o "$workdir/ask.got" "$@" "$base/$name" || true
    head -n 1 "$workdir/ask.headers" | grep -q " $status " ||
        fail "$name $*: $(head -n 1 "$workdir/ask.headers"), not $status"
    [ "$(stat -c %s "$workdir/ask.got")" = "$bytes" ] || fail "$name $*: $(stat -c %s "$workdir/ask.got") bytes, not $bytes"
    grep -qi "$pattern" "$workdir/ask.headers" || fail "$name $*: no header $pattern"
}
from=(-H 'Range: bytes=4000-')
ask range.bin 206 6000 '^content-range: bytes 4000-9999/10000' "${from[@]}"
tail -c 6000 "$workdir/release/range.bin" | cmp -s - "$workdir/ask.got" || fail "the part of range.bin is not its bytes from 4000"
ask range.bin 206 6000 '^content-range: bytes 4000-9999/10000' "${from[@]}" -H "If-Range: $etag"
ask range.bin 206 6000 '^content-range: bytes 4000-9999/10000' "${from[@]}" -H "If-Range: $modified"
ask range.bin 206 1000 '^content-range: bytes 4000-4999/10000' -H 'Range: bytes=4000-4999'
ask range.bin 200 10000 '^etag: "' "${from[@]}" -H 'If-Range: "another"'
ask range.bin 200 10000 '^etag: "' "${from[@]}" -H "If-Range: W/$etag"
ask range.bin 416 21 '^content-range: bytes \*/10000' -H 'Range: bytes=10000-'
ask bad-start.bin 206 5999 '^content-range: bytes 4001-9999/10000' "${from[@]}"
ask bad-total.bin 206 6000 '^content-range: bytes 4000-9999/10001' "${from[@]}"
ask bad-start.bin 200 10000 '^accept-ranges: bytes'
written() { # PATTERN AGE: range.bin written again, AGE seconds ago
    python3 -c "import sys; sys.stdout.buffer.write(bytes(i % $1 for i in range(10000)))" \
        > "$workdir/release/range.bin"
    touch -d "-$2 seconds" "$workdir/release/range.bin"
}
written 239 5
ask range.bin 200 10000 '^etag: "' "${from[@]}" -H "If-Range: $etag"
cmp -s "$workdir/release/range.bin" "$workdir/ask.got" || fail "range.bin written again did not arrive as the new file"
! grep -qi "^etag: $etag" "$workdir/ask.headers" || fail "range.bin written again kept its ETag"
! grep -qi "^last-modified: $modified" "$workdir/ask.headers" || fail "range.bin written again kept its Last-Modified"
ask range.bin 200 10000 '^etag: "' "${from[@]}" -H "If-Range: $modified"
ask range.bin 206 6000 '^content-range: bytes 4000-9999/10000' "${from[@]}" -H "If-Range: $(validator last-modified ask)"
# A file written this very second may be written again within it: its date is no validator yet.
written 237 0
ask range.bin 200 10000 '^etag: "'
ask range.bin 200 10000 '^etag: "' "${from[@]}" -H "If-Range: $(validator last-modified ask)"
late=$(curl -s -o /dev/null -w '%{time_starttransfer}' "$base/late.bin")
awk -v t="$late" 'BEGIN {exit !(t >= 1.5 && t < 5)}' || fail "late.bin began after $late s, not 1.5"

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
echo "update server: whole files, one connection for 12 requests, a held port refused, awkward and endless answers as asked, parts of a file under their validators, a delay, a conventional command line"
