#!/usr/bin/env bash
# verify URL checks a release as operators receive it: through the update server, and
# through nginx on loopback (an unprivileged worker: a file of mode 0600 answers 403), with
# each fault named and its exit code.
#
#   verify-url.sh TOOL UPDATE_SERVER WORK
set -euo pipefail
tool=$1
server=$2
work=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
base=/public/tarnell/software/updates/quorvel_installer
rm -rf "$work" && mkdir -p "$work/release/sub dir"
printf 'product' > "$work/release/Pelmora.exe"
head -c 200000 /dev/urandom > "$work/release/sub dir/big file.dat"
"$tool" keygen "$work/maker.key" >/dev/null
pub=$("$tool" public "$work/maker.key")
"$tool" publish "$work/release" --key "$work/maker.key" >/dev/null

pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
: > "$work/faults"
"$server" --root "$work/release" --port 0 --port-file "$work/port" --max-seconds 120 \
    --faults "$work/faults" >"$work/server.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || fail "the update server did not start: $(cat "$work/server.out")"
url=http://127.0.0.1:$(cat "$work/port")$base/

# expect CODE TEXT URL [OPTION...]: verify exits with CODE and says TEXT (on stdout for 0).
expect() {
    local code=$1 text=$2 status=0
    "$tool" verify "$3" --public "$pub" "${@:4}" >"$work/out" 2>"$work/err" || status=$?
    [ "$status" = "$code" ] || fail "verify $3 exited $status, not $code: $(cat "$work/out" "$work/err")"
    grep -qF -- "$text" "$work/out" "$work/err" || fail "verify $3 did not say \"$text\": $(cat "$work/out" "$work/err")"
}
expect 0 "release 1: signature good" "$url"
"$tool" verify "$url" --public "$pub" --json > "$work/json"
grep -q '^{"command":"verify","exit":0,"good":true,"release":1,.*"files":2,"bytes":200007,' \
    "$work/json" || fail "the JSON object: $(cat "$work/json")"
cp "$work/release/Pelmora.exe" "$work/kept" && printf 'PRODUCT' > "$work/release/Pelmora.exe"
expect 1 '"Pelmora.exe": its content is not the one listed' "$url"
cp "$work/kept" "$work/release/Pelmora.exe"
echo "Pelmora.exe framed-twice" > "$work/faults"
expect 1 "Transfer-Encoding beside its length, which the updater refuses" "$url"
: > "$work/faults"
expect 4 "cannot connect to 127.0.0.1:1" "http://127.0.0.1:1$base/"
expect 2 "is no http:// URL" "ftp://127.0.0.1$base/"
# A name in code page 932 whose second byte is that of '|', fetched as its operators fetch it.
cp "$work/release/filelist.txt"* "$work/" && po=$(printf '\x83\x7c') && printf 'po' >"$work/release/$po"
"$tool" publish "$work/release" --key "$work/maker.key" --code-page 932 >/dev/null
expect 0 "release 2: signature good" "$url" --code-page 932
expect 1 "read in code page 1252, the default" "$url"
rm "$work/release/$po" && cp "$work/filelist.txt" "$work/filelist.txt.sig" "$work/release/"

# nginx, as the README serves a release; its worker runs unprivileged.
if ! command -v nginx >/dev/null || [ "$(id -u)" != 0 ]; then
    echo "verify-url: nginx is not there, or cannot run its worker as another user: skipped"
    exit 0
fi
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
conf=$work/nginx && mkdir -p "$conf/tmp"
chmod 755 "$work" "$work/release" "$work/release/sub dir"
chmod 644 "$work/release/"*.exe "$work/release/sub dir/"* "$work/release/"filelist.txt*
cat > "$conf/nginx.conf" <<NGINX
worker_processes 1;
daemon off;
pid $conf/nginx.pid;
error_log $conf/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $conf/tmp/body;
    proxy_temp_path $conf/tmp/proxy;
    fastcgi_temp_path $conf/tmp/fastcgi;
    uwsgi_temp_path $conf/tmp/uwsgi;
    scgi_temp_path $conf/tmp/scgi;
    server {
        listen 127.0.0.1:$port;
        location $base/ { alias $work/release/; }
    }
}
NGINX
nginx -p "$conf" -c "$conf/nginx.conf" -e "$conf/error.log" >"$conf/out" 2>&1 &
pids+=($!)
nginx_url=http://127.0.0.1:$port$base/
for _ in $(seq 100); do curl -s -o /dev/null "${nginx_url}filelist.txt" && break; sleep 0.1; done
expect 0 "release 1: signature good" "$nginx_url"
chmod 600 "$work/release/sub dir/big file.dat"
expect 1 '"sub dir/big file.dat": http://127.0.0.1:'"$port$base"'/sub%20dir/big%20file.dat: the server answers "403 Forbidden", not 200 OK' "$nginx_url"
chmod 644 "$work/release/sub dir/big file.dat"
mkdir -p "$work/release/.git" && printf 'ref: refs/heads/main\n' > "$work/release/.git/HEAD"
chmod -R a+rX "$work/release/.git"
expect 1 '".git/HEAD" is served, and must not be' "$nginx_url"
rm -r "$work/release/.git" && cp -p "$work/maker.key" "$work/release/maker.key"
chmod 644 "$work/release/maker.key"
expect 1 '"maker.key" is served, and must not be' "$nginx_url"
echo "verify-url: releases checked through the update server and nginx"
