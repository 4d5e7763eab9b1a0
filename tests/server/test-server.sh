#!/usr/bin/env bash
# Starts or stops the update server that the download contract tests talk to.
#   test-server.sh start SERVER_BINARY WORKDIR
#   test-server.sh stop WORKDIR
# The release it serves and the faults it injects are made here; the port it took is
# written to WORKDIR/port. It stops by itself after 15 minutes.
set -euo pipefail
command=$1
if [ "$command" = stop ]; then
    workdir=$2
    if [ -f "$workdir/pid" ]; then
        kill "$(cat "$workdir/pid")" 2>/dev/null || true
        rm -f "$workdir/pid"
    fi
    exit 0
fi

server=$2
workdir=$3
if [ ! -x "$server" ]; then
    echo "test-server: no update server at $server (build the host preset first)" >&2
    exit 1
fi
"$0" stop "$workdir"
rm -rf "$workdir/release"
mkdir -p "$workdir/release/a b"
printf 'release body\r\n' > "$workdir/release/ok.bin"
printf 'inner\r\n' > "$workdir/release/a b/c.txt"
: > "$workdir/release/empty.bin"
head -c 100 /dev/zero | tr '\0' 'x' > "$workdir/release/short.bin"
head -c 100 /dev/zero | tr '\0' 'y' > "$workdir/release/drop.bin"
python3 -c "import sys; sys.stdout.buffer.write(bytes(i % 251 for i in range(1 << 20)))" \
    > "$workdir/release/big.bin"
# Bodies whose end cannot be proven, and bodies still encoded.
for name in chunked chunked-cut chunked-nolast nolength nolength-cut; do
    head -c 10000 /dev/zero | tr '\0' 'c' > "$workdir/release/$name.bin"
done
printf 'abcd' > "$workdir/release/framed.bin"
cp "$workdir/release/big.bin" "$workdir/release/ranged.bin"
cp "$workdir/release/big.bin" "$workdir/release/slow.bin"
printf 'release body\r\n' | gzip -c > "$workdir/release/gzip.bin"
python3 -c "import sys, zlib; sys.stdout.buffer.write(zlib.compress(b'release body\r\n'))" \
    > "$workdir/release/deflate.bin"
base=$("$(dirname "$0")/../../scripts/base-path.sh")
cat > "$workdir/faults" <<FAULTS
error.bin status 500
short.bin cut 5
drop.bin drop
moved.bin redirect $base/ok.bin
loop.bin redirect $base/loop.bin
chunked.bin chunked
chunked-cut.bin chunked 5000
chunked-nolast.bin chunked-nolast
nolength.bin nolength
nolength-cut.bin nolength 5000
gzip.bin encoding gzip
deflate.bin encoding deflate
huge.bin huge 1125899906842624 4000000
headers.bin endless-headers 200000
framed.bin framed-twice
ranged.bin bad-range start
slow.bin delay 5000
FAULTS
# A chain of redirects: hopN.bin to hopN+1.bin, the last to ok.bin.
for n in $(seq 0 9); do
    echo "hop$n.bin redirect $base/hop$((n + 1)).bin" >> "$workdir/faults"
done
echo "hop10.bin redirect $base/ok.bin" >> "$workdir/faults"
rm -f "$workdir/port" "$workdir/requests.log"
"$server" --root "$workdir/release" --port-file "$workdir/port" --log "$workdir/requests.log" \
    --faults "$workdir/faults" --max-seconds 900 >"$workdir/server.out" 2>&1 &
echo $! > "$workdir/pid"
for _ in $(seq 100); do
    [ -s "$workdir/port" ] && exit 0
    sleep 0.1
done
echo "test-server: the server did not start" >&2
cat "$workdir/server.out" >&2
exit 1
