#!/usr/bin/env bash
# End-to-end scenarios: the shipped Quorvel.exe under Wine, against the update server on
# loopback, driven by quorvel-driver as an operator drives it.
#
#   scenarios.sh BUILD_DIR SOURCE_DIR UPDATE_SERVER PORT SCENARIO
#
# The prefix (BUILD_DIR/e2e-prefix) is made on first use: its Z: drive is unmapped so that
# nothing outside it is scanned, and P: is a test folder that holds the installation.
set -euo pipefail

build=$1
source=$2
server=$3
port=$4
scenario=$5

prefix=$build/e2e-prefix
work=$build/e2e-work/$scenario
updater=$build/e2e/Quorvel.exe
drive_p=$build/e2e-work/drive-p
# A Japanese operator's Windows: code page 932, and a user (so a home folder) named "ポ",
# whose second byte in that code page is "|" (0x83 0x7C). A prefix of its own, made and run
# under that locale.
if [[ $scenario == *_code_page_932 ]]; then
    prefix=$build/e2e-prefix-932
    export LOCPATH=$build/e2e-locale
    mkdir -p "$LOCPATH"
    # (localedef may warn and still make it)
    [ -d "$LOCPATH/ja_JP.UTF-8" ] || localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" ||
        [ -d "$LOCPATH/ja_JP.UTF-8" ]
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 USER=ポ LOGNAME=ポ
fi
source "$source/tests/e2e/lib.sh"
install="$drive_p/Pelmora 4.1.2"
marker_dir="$drive_c/users/Public/Documents/Pelmora Documents/system-do not touch"

# --- the installation drive

# P: is a test folder that holds the installation.
map_install_drive() {
    mkdir -p "$drive_p"
    ln -sfn "$drive_p" "$prefix/dosdevices/p:"
}

reset_machine() {
    if mountpoint -q "$drive_p" 2>/dev/null; then
        umount "$drive_p" || true
    fi
    rm -rf "$desktop/Tarnell Temp Files" "$desktop/Pelmora Updater Files" "$drive_p"/* \
        "$drive_c/users/Public/Documents/Pelmora Documents"
}

# --- what must hold

expect_requests() { # count of file requests other than the list
    local n
    n=$(grep -v "filelist.txt" "$work/requests.log" | grep -c . || true)
    [ "$n" = "$1" ] || fail "expected $1 file downloads, saw $n"
}

install_product() { # the installed Pelmora 4.1.2: old files, the launcher, its local list
    mkdir -p "$install/bin" "$install/data/maps" "$install/docs"
    for f in Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        printf 'old %s\r\n' "$f" > "$install/$f"
    done
    cp "$build/tools/AppLaunch.exe" "$install/AppLaunch.exe"
    cp "$work/release/filelist.txt" "$install/PelmoraUpdaterList.txt"
    mkdir -p "$marker_dir"
    printf 'marker' > "$marker_dir/PelmorEmpty.aaa"
}

# A release whose list names no launcher (so the start-up run ends without one and leaves
# the window to the operator) and in which three files changed since the installed list.
changed_release() {
    install_product
    # The installed list, row for row, with the launcher's row removed.
    grep -v AppLaunch "$install/PelmoraUpdaterList.txt" > "$install/list.tmp"
    mv "$install/list.tmp" "$install/PelmoraUpdaterList.txt"
    sed -E 's#^(Pelmora\.exe|bin/core\.dll|data/maps/world\.dat)\t.*$#\1\t2026-12-09 08:00\r#' \
        "$install/PelmoraUpdaterList.txt" > "$work/release/filelist.txt"
}

operator_updates_the_installation() {
    drive wait-minimised 'click=Manual Update' 'wait-enabled=Check Local Path' \
        'click=Check Local Path' 'wait-enabled=Download Files' "$@" 'click=Download Files' wait-exit
}

# The update server on a second port, with a certificate of the test authority the prefix
# trusts (or of another one), serving the same release: https://localhost:PORT+1 (PORT+2).
tls_port=$((port + 1))
untrusted_port=$((port + 2))
proxy_port=$((port + 3))

trust_test_ca() {
    local tls=$build/e2e-work/tls
    if [ ! -f "$tls/ready" ]; then
        rm -rf "$tls" && mkdir -p "$tls"
        for ca in trusted untrusted; do
            openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Quorvel test $ca CA" \
                -keyout "$tls/$ca-ca.key" -out "$tls/$ca-ca.pem" 2>/dev/null
            openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
                -keyout "$tls/$ca-server.key" -out "$tls/$ca-server.csr" 2>/dev/null
            printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n' > "$tls/ext"
            openssl x509 -req -in "$tls/$ca-server.csr" -CA "$tls/$ca-ca.pem" \
                -CAkey "$tls/$ca-ca.key" -CAcreateserial -days 3650 -extfile "$tls/ext" \
                -out "$tls/$ca-server.pem" 2>/dev/null
        done
        openssl x509 -in "$tls/trusted-ca.pem" -outform DER -out "$tls/trusted-ca.der"
        touch "$tls/ready"
    fi
    if [ ! -f "$prefix/.quorvel-trusts-$(sha1sum < "$tls/trusted-ca.der" | cut -c1-12)" ]; then
        mkdir -p "$drive_c/e2e"
        cp "$build/tests/quorvel-trust-ca.exe" "$tls/trusted-ca.der" "$drive_c/e2e/"
        "$wine_run" "$prefix" 'C:\e2e\quorvel-trust-ca.exe' 'C:\e2e\trusted-ca.der' ||
            fail "the test authority could not be trusted"
        touch "$prefix/.quorvel-trusts-$(sha1sum < "$tls/trusted-ca.der" | cut -c1-12)"
    fi
}

start_tls_server() { # trusted|untrusted port
    local tls=$build/e2e-work/tls
    rm -f "$work/tls-port"
    : > "$work/tls-faults"
    "$server" --root "$work/release" --bind localhost --port "$2" --port-file "$work/tls-port" \
        --log "$work/tls-requests.log" --faults "$work/tls-faults" --max-seconds 300 \
        --tls-cert "$tls/$1-server.pem" --tls-key "$tls/$1-server.key" \
        >"$work/tls-server.out" 2>&1 &
    tls_pid=$!
    trap 'kill $server_pid $tls_pid 2>/dev/null || true' EXIT
    await_port "$work/tls-port" "the TLS server" "$work/tls-server.out"
}

# --- nginx and a forward proxy, each started here as an unprivileged process

# nginx with the http settings makers use and the server block given on standard input,
# plus any further http directives given as arguments. Each request is logged with its end
# ($msec) and its duration, both in seconds.
run_nginx() {
    local conf=$work/nginx site
    site=$(cat)
    rm -rf "$conf" && mkdir -p "$conf/tmp"
    cat > "$conf/nginx.conf" <<NGINX
worker_processes 1;
daemon off;
pid $conf/nginx.pid;
error_log $conf/error.log;
events { worker_connections 64; }
http {
    types { text/plain txt; application/octet-stream dll exe dat; }
    default_type application/octet-stream;
    log_format quorvel '\$request_method \$uri?\$args \$status \$body_bytes_sent \$msec \$request_time';
    access_log $work/requests.log quorvel;
    client_body_temp_path $conf/tmp/body;
    proxy_temp_path $conf/tmp/proxy;
    fastcgi_temp_path $conf/tmp/fastcgi;
    uwsgi_temp_path $conf/tmp/uwsgi;
    scgi_temp_path $conf/tmp/scgi;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 65;
    keepalive_requests 100;
    gzip on;
    gzip_types text/plain application/octet-stream;
    etag on;
    $*
$site
}
NGINX
    : > "$work/requests.log"
    nginx -p "$conf" -c "$conf/nginx.conf" -e "$conf/error.log" >"$conf/out" 2>&1 &
    nginx_pid=$!
    trap 'kill $nginx_pid 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        curl -s -o /dev/null "http://127.0.0.1:$port$base/filelist.txt" && return 0
        sleep 0.1
    done
    fail "nginx did not start: $(cat "$conf/out" "$conf/error.log")"
}

# A static site as makers run one: sendfile, keep-alive, ETag and expiry headers, gzip on,
# and a file moved to another folder (301).
start_nginx() {
    mkdir -p "$work/release-moved"
    mv "$work/release/bin/ui.dll" "$work/release-moved/ui.dll"
    run_nginx <<NGINX
    server {
        listen 127.0.0.1:$port;
        server_name localhost;
        expires 1h;
        location = $base/bin/ui.dll { return 301 /public/tarnell/software/updates/moved/ui.dll; }
        location $base/ { alias $work/release/; }
        location /public/tarnell/software/updates/moved/ { alias $work/release-moved/; }
    }
NGINX
}

# squid on PORT+3, the update server behind it; the prefix's proxy settings name squid.
start_proxy() {
    local conf=$work/squid
    rm -rf "$conf" && mkdir -p "$conf"
    cat > "$conf/squid.conf" <<SQUID
http_port 127.0.0.1:$proxy_port
pid_filename $conf/squid.pid
cache_log $conf/cache.log
access_log stdio:$conf/access.log squid
coredump_dir $conf
cache deny all
cache_mem 8 MB
pinger_enable off
netdb_filename none
shutdown_lifetime 0 seconds
http_access allow all
SQUID
    # Started by root, squid runs as its own unprivileged user, which must write here.
    if [ "$(id -u)" = 0 ]; then chown -R proxy "$conf"; fi
    squid -N -f "$conf/squid.conf" >"$conf/out" 2>&1 &
    squid_pid=$!
    trap 'kill $server_pid $squid_pid 2>/dev/null || true; clear_proxy' EXIT
    local ready=
    for _ in $(seq 100); do
        kill -0 "$squid_pid" 2>/dev/null || break
        if curl -s -o /dev/null -x "127.0.0.1:$proxy_port" \
            "http://127.0.0.1:$port$base/filelist.txt"; then
            ready=1
            break
        fi
        sleep 0.1
    done
    [ -n "$ready" ] || fail "squid did not start: $(tail -5 "$conf/cache.log" "$conf/out" 2>&1)"
    : > "$work/requests.log"
    : > "$conf/access.log"
    touch "$prefix/.quorvel-proxy-set"
    "$wine_run" "$prefix" reg add "$internet_settings" /v ProxyServer /d "127.0.0.1:$proxy_port" /f \
        >/dev/null 2>&1
    "$wine_run" "$prefix" reg add "$internet_settings" /v ProxyEnable /t REG_DWORD /d 1 /f \
        >/dev/null 2>&1
}

internet_settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'

# No scenario but the proxy's goes through it, even after one that was interrupted.
clear_proxy() {
    if [ -f "$prefix/.quorvel-proxy-set" ]; then
        "$wine_run" "$prefix" reg add "$internet_settings" /v ProxyEnable /t REG_DWORD /d 0 /f \
            >/dev/null 2>&1 && rm -f "$prefix/.quorvel-proxy-set"
    fi
}

# --- the scenarios

# Start-up with no input: the release lands in the desktop folder, the launcher starts.
scenario_startup_fetch() {
    drive wait-exit
    expect_log <<< "EXIT 0"
    local target="$desktop/Tarnell Temp Files"
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$target/$f" "$work/release/$f"
    done
    expect_no_file "$target/PelmoraUpdaterList.txt"
    expect_no_file "$drive_c/Quorvel/temp1234.\$\$\$"
    [ -f "$target/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# The start-up fetch on that Japanese Windows: the home folder holds "ポ", and so does a
# listed name; both are walked by character, and the release lands whole.
scenario_startup_fetch_code_page_932() {
    local name=$'data/\x83\x7c.dat'
    printf 'named in Shift-JIS\r\n' > "$work/release/$name"
    printf '%s\t2026-12-09\r\n' "$name" >> "$work/release/filelist.txt"
    case $user_dir in */ポ) ;; *) fail "the prefix's user is not ポ: $user_dir" ;; esac
    scenario_startup_fetch
    expect_file "$desktop/Tarnell Temp Files/data/ポ.dat" "$work/release/$name"
}

# A second start-up with the files already present fetches nothing again.
scenario_second_startup() {
    scenario_startup_fetch
    rm -f "$desktop/Tarnell Temp Files/AppLaunch.exe.started"
    : > "$work/requests.log"
    drive wait-exit
    expect_log <<< "EXIT 0"
    expect_requests 0
    grep -q "filelist.txt" "$work/requests.log" || fail "the list was not fetched"
    [ -f "$desktop/Tarnell Temp Files/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# The operator saw N files updated and the release's notice; each named file is the release's.
expect_updated() {
    local count=$1
    shift
    expect_log <<LOG
BOX |$count Files Have been updated|OK
BOX |Pelmora has been updated to the latest version.\nPlease check version number in the top lefthand corner when running Pelmora.|OK
EXIT 0
LOG
    local f
    for f in "$@"; do
        expect_file "$install/$f" "$work/release/$f"
    done
}

# Normal mode: the operator finds the installation and updates it.
scenario_normal_update() {
    changed_release
    operator_updates_the_installation
    expect_updated 3 Pelmora.exe bin/core.dll data/maps/world.dat
    local backups=("$install"/UpdateBackup/*/)
    [ ${#backups[@]} = 1 ] || fail "expected one run backup folder"
    local backup=${backups[0]}
    for f in Pelmora.exe bin/core.dll data/maps/world.dat; do
        grep -q "old $f" "$backup/$f" || fail "the previous $f is not in $backup"
    done
    grep -q "old bin/ui.dll" "$install/bin/ui.dll" || fail "an unchanged file was replaced"
    [ -d "$backup/docs" ] || fail "the backup folder lacks the list's folders"
    grep -q marker "$backup/PelmorEmpty.aaa" || fail "the marker file was not moved"
    expect_no_file "$marker_dir/PelmorEmpty.aaa"
    expect_file "$install/PelmoraUpdaterList.txt" "$work/release/filelist.txt"
    [ -f "$install/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# A file answered 404: the message, nothing lost, no error page put in place.
scenario_file_not_found() { file_fault "status 404"; }

# The list cut short: the list message, no list and no file anywhere.
scenario_list_cut_short() { echo "filelist.txt cut 10" > "$work/faults"; list_fault; }

# A file held open by another program: its move fails, the previous version stays safe.
scenario_held_file() {
    changed_release
    operator_updates_the_installation 'hold=P:\Pelmora 4.1.2\bin\core.dll'
    expect_log <<'LOG'
BOX core.dll|Could not move files to the backup location.|OK
BOX Error|Please update the files manually.\nMake sure you are logged in as Administrator.\nContact Tarnell for help.|OK
EXIT 0
LOG
    grep -q "old bin/core.dll" "$install/bin/core.dll" || fail "the held file was lost"
    expect_file "$install/Pelmora.exe" "$work/release/Pelmora.exe"
    expect_no_file "$install/PelmoraUpdaterList.txt"
    [ -f "$install/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# --- network faults: each ends with its message, nothing lost, and no hang

# A listed file that does not arrive whole: the download message, no partial file kept.
file_fault() { # fault [seconds to wait for the message]
    echo "bin/ui.dll $1" > "$work/faults"
    drive "wait-boxes=1/${2:-60}" close wait-exit
    expect_log <<'LOG'
BOX ui.dll|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    local target="$desktop/Tarnell Temp Files"
    expect_file "$target/bin/core.dll" "$work/release/bin/core.dll"
    expect_no_file "$target/bin/ui.dll"
    expect_no_file "$drive_c/Quorvel/temp1234.\$\$\$"
    expect_no_file "$target/PelmoraUpdaterList.txt"
    ! grep -rq "injected error page" "$target" || fail "an error page was put in place"
}

# Answers that are not the whole file, one run each: the message, nothing kept.
scenario_file_answers_not_taken() {
    local fault name=$scenario
    local faults=("status 500" "redirect $base/bin/ui.dll" "cut 7" "drop" "chunked 10"
        "chunked-nolast" "nolength 10")
    for fault in "${faults[@]}"; do
        scenario="$name ($fault)"
        reset_machine
        file_fault "$fault"
    done
    scenario=$name
}
# Held back past the updater's receive time-out (30 s).
scenario_file_stall() { file_fault "stall 50"; }

# --- answers whose body cannot be proven whole, or is still encoded

# Pre-compressed, as nginx's gzip_static serves it.
scenario_file_gzip() {
    gzip -c "$work/release/bin/ui.dll" > "$work/ui.dll.gz"
    mv "$work/ui.dll.gz" "$work/release/bin/ui.dll"
    file_fault "encoding gzip"
}
scenario_list_deflate() {
    python3 -c "import sys, zlib; d = open(sys.argv[1], 'rb').read(); open(sys.argv[1], 'wb').write(zlib.compress(d))" \
        "$work/release/filelist.txt"
    echo "filelist.txt encoding deflate" > "$work/faults"
    list_fault
}
# One byte every 10 s never lets a read time out; the minimum rate ends it within the
# rate window (60 s).
scenario_file_trickle() { file_fault "trickle 10000" 150; }

# --- hostile answers: nothing fills the disk, nothing hangs

# Announces a petabyte and sends as fast as it is taken (up to 2 GB, which a client reading
# it out would take minutes over): refused at once for the drive's free space, the
# connection cut, nothing written.
scenario_endless_file() {
    local before
    before=$(df --output=used -B1 "$drive_c" | tail -n 1)
    file_fault "huge 1125899906842624 2000000000" 20
    local after
    after=$(df --output=used -B1 "$drive_c" | tail -n 1)
    [ $((after - before)) -lt 50000000 ] || fail "the drive filled by $((after - before)) bytes"
}
scenario_endless_list() {
    echo "filelist.txt huge 1125899906842624 2000000000" > "$work/faults"
    list_fault
}
# The status line and headers one byte a second: never silent long enough for a read to time
# out, yet ended within the minimum rate's window.
scenario_header_trickle() { file_fault "header-trickle 1000" 90; }
# A body announced by its length and chunked as well, cut after its first chunk: refused.
scenario_file_framed_twice() { file_fault "framed-twice"; }
# Header lines without end: the transfer is given up when its minute is up.
scenario_endless_headers() { file_fault "endless-headers 4000000000" 90; }

# A list that names the updater's own run record, served with a record that would move the
# operator's document into the installation: refused whole at start-up and again in normal
# mode, nothing fetched, nothing moved.
scenario_hostile_own_name() {
    changed_release
    local documents="$user_dir/Documents"
    mkdir -p "$documents"
    printf 'thesis' > "$documents/thesis.txt"
    printf 'C:\\users\\%s\\Documents\\thesis.txt\tP:\\Pelmora 4.1.2\\thesis.txt\r\n' \
        "$(basename "$user_dir")" > "$work/release/PelmoraUpdaterRun.txt"
    printf 'PelmoraUpdaterRun.txt\t2026-12-09\r\n' >> "$work/release/filelist.txt"
    drive wait-boxes=1 'click=Manual Update' 'wait-enabled=Check Local Path' \
        'click=Check Local Path' 'wait-enabled=Download Files' 'click=Download Files' \
        wait-boxes=2 close wait-exit
    local refused='BOX Update Error|PelmoraUpdaterRun.txt\nThe update list names this file in a way that cannot be installed.\nThe list may be damaged; nothing was downloaded for it.|OK'
    expect_log <<LOG
$refused
$refused
EXIT 0
LOG
    [ "$(cat "$documents/thesis.txt" 2>/dev/null)" = thesis ] || fail "the document was moved"
    expect_no_file "$install/thesis.txt"
    expect_no_file "$install/PelmoraUpdaterRun.txt"
    expect_no_file "$desktop/Tarnell Temp Files/PelmoraUpdaterRun.txt"
    expect_requests 0
}

# A filtering proxy's text page answered for the list: refused as damaged at start-up and in
# normal mode; no folder of it is made, nothing fetched or installed.
scenario_block_page_list() {
    changed_release
    printf 'Access Denied\r\nYour request was blocked by the company proxy.\r\nPlease see the helpdesk page at intranet\\\r\nReference 4711\r\n' \
        > "$work/release/filelist.txt"
    drive wait-boxes=1 'click=Manual Update' 'wait-enabled=Check Local Path' \
        'click=Check Local Path' 'wait-enabled=Download Files' 'click=Download Files' \
        wait-boxes=2 close wait-exit
    local damaged='BOX Update Error|The update list from the server is damaged: none of its lines holds a TAB, so it is no update list (a proxy or a portal may have answered with a page of its own).\nNothing was changed. Please try again later or contact Tarnell.|OK'
    expect_log <<LOG
$damaged
$damaged
EXIT 0
LOG
    expect_requests 0
    [ -z "$(ls -A "$desktop/Tarnell Temp Files" 2>/dev/null)" ] || fail "the page left files"
    for f in Pelmora.exe bin/core.dll data/maps/world.dat; do
        grep -q "old $f" "$install/$f" || fail "$f was replaced"
    done
    expect_no_file "$install/Please see the helpdesk page at intranet"
}

# The short name Wine gives the run record (PELM~ROD.TXT; Windows with short names on gives
# PELMOR~2.TXT), listed: refused as the record itself at start-up and in normal mode, before
# anything is fetched, and the record is not displaced.
scenario_alias_of_the_run_record() {
    changed_release
    printf 'PELM~ROD.TXT\t2026-12-09\r\n' >> "$work/release/filelist.txt"
    printf 'server file' > "$work/release/PELM~ROD.TXT"
    drive wait-boxes=1 'click=Manual Update' 'wait-enabled=Check Local Path' \
        'click=Check Local Path' 'wait-enabled=Download Files' 'click=Download Files' \
        wait-boxes=2 close wait-exit
    local refused='BOX Update Error|PELM~ROD.TXT\nThe update list names this file in a way that cannot be installed.\nThe list may be damaged; nothing was downloaded for it.|OK'
    expect_log <<LOG
$refused
$refused
EXIT 0
LOG
    expect_requests 0
    expect_no_file "$install/PelmoraUpdaterRun.txt"
    [ ! -d "$install/UpdateBackup" ] || fail "a backup folder was made"
}

# --- https

# The file moved to https: it arrives from the TLS server, whose authority the prefix trusts.
scenario_https_redirect() {
    trust_test_ca
    start_tls_server trusted "$tls_port"
    echo "bin/ui.dll redirect https://localhost:$tls_port$base/bin/ui.dll" > "$work/faults"
    drive wait-exit
    expect_log <<< "EXIT 0"
    local target="$desktop/Tarnell Temp Files"
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat; do
        expect_file "$target/$f" "$work/release/$f"
    done
    grep -q "GET $base/bin/ui.dll.* 200 " "$work/tls-requests.log" ||
        fail "the file did not come over https"
}

# A certificate of an authority nobody trusts: the download message, nothing kept.
scenario_https_untrusted() {
    trust_test_ca
    start_tls_server untrusted "$untrusted_port"
    file_fault "redirect https://localhost:$untrusted_port$base/bin/ui.dll"
}

# Sent on from https back to plain http: refused.
scenario_https_back_to_http() {
    trust_test_ca
    start_tls_server trusted "$tls_port"
    echo "bin/ui.dll redirect http://127.0.0.1:$port$base/bin/core.dll" > "$work/tls-faults"
    file_fault "redirect https://localhost:$tls_port$base/bin/ui.dll"
    grep -q "GET $base/bin/ui.dll.* 302 " "$work/tls-requests.log" ||
        fail "the https server was not asked"
}

# --- real servers

scenario_nginx_startup_fetch() {
    start_nginx
    drive wait-exit
    expect_log <<< "EXIT 0"
    local target="$desktop/Tarnell Temp Files"
    for f in AppLaunch.exe Pelmora.exe bin/core.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$target/$f" "$work/release/$f"
    done
    expect_file "$target/bin/ui.dll" "$work/release-moved/ui.dll"
    grep -q "GET /public/tarnell/software/updates/moved/ui.dll?.* 200" "$work/requests.log" ||
        fail "the moved file was not fetched from its new folder"
    [ -f "$target/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

scenario_nginx_normal_update() {
    changed_release
    start_nginx
    operator_updates_the_installation
    expect_updated 3 Pelmora.exe bin/core.dll data/maps/world.dat
    expect_file "$install/PelmoraUpdaterList.txt" "$work/release/filelist.txt"
}

# The README's way of switching a served release: publish into a new folder, then switch the
# folder nginx serves (the README's own server block) by one rename of a symbolic link. The
# switch falls while the updater fetches the old release's last file: that file still comes
# whole from the old release, so the operator has release 50 entire; the next fetch gets
# release 51 entire. A name with a blank is fetched on the way.
scenario_nginx_release_switch() {
    local srv=$work/srv/quorvel home=$work/home target="$desktop/Tarnell Temp Files"
    local publish=${QUORVEL_PUBLISH:-$(dirname "$server")/quorvel-publish}
    local temp="$drive_c/Quorvel/temp1234.\$\$\$"
    readme_block() { # start fence: the README's first block of that kind after that line
        awk -v start="$1" -v fence="$2" '$0 ~ start { on = 1 } on && $0 == fence { inside = 1; next }
            inside && /^```$/ { exit } inside { print }' "$source/README.md" |
            sed -e "s|/srv/quorvel|$srv|g" -e "s|listen 80;|listen 127.0.0.1:$port;|"
    }
    rm -rf "$srv" "$home" && mkdir -p "$srv/releases" "$home/build/out/media" "$work/bin"
    ln -sfn "$publish" "$work/bin/quorvel-publish"
    cp -r "$work/release" "$srv/releases/50"
    printf 'read me\r\n' > "$srv/releases/50/docs/read me.txt"
    mkdir -p "$srv/releases/50/media"
    head -c 4000000 /dev/urandom > "$srv/releases/50/media/intro.dat"
    "$publish" keygen "$home/maker.key" >/dev/null
    "$publish" public "$home/maker.key" > "$home/maker.pub"
    "$publish" publish "$srv/releases/50" --key "$home/maker.key" --release 50 >/dev/null ||
        fail "release 50 could not be published"
    ln -s releases/50 "$srv/current"
    printf 'Pelmora 4.1.3\r\n' > "$home/build/out/Pelmora.exe"
    head -c 4000000 /dev/urandom > "$home/build/out/media/intro.dat"
    run_nginx "limit_rate 1m;" < <(readme_block '^## Serving a release' '```nginx')
    readme_block '^\*\*Switching a served release' '```sh' > "$work/switch.sh"
    # The switch, once the last file (4 MB at 1 MB/s) is under way: past the size of every
    # other file of the release, the launcher's 0.7 MB among them. A file fetched ahead of
    # its turn is written to a part beside the updater, not to the temporary file.
    (
        local size
        for _ in $(seq 1200); do
            size=$(stat -c %s "$temp" "$drive_c/Quorvel/PelmoraUpdaterParts"/*.part 2>/dev/null |
                sort -n | tail -n 1 || true)
            [ "${size:-0}" -gt 1500000 ] && break
            sleep 0.05
        done
        local before
        before=$(date +%s.%N)
        (cd "$home" && HOME=$home PATH="$work/bin:$PATH" bash -euo pipefail "$work/switch.sh") \
            > "$work/switch.out" 2>&1 && echo "$before $(date +%s.%N)" > "$work/switched-at"
    ) &
    local switcher=$!
    drive wait-exit
    wait "$switcher" || true
    expect_log <<< "EXIT 0"
    [ -s "$work/switched-at" ] || fail "the switch failed: $(cat "$work/switch.out")"
    [ "$(readlink "$srv/current")" = releases/51 ] || fail "nginx does not serve release 51"
    # The switch fell inside the transfer of the last file.
    local from to end took
    read -r from to < "$work/switched-at"
    read -r end took < <(awk '$2 ~ /media\/intro\.dat/ { print $5, $6 }' "$work/requests.log")
    awk -v from="$from" -v to="$to" -v end="$end" -v took="$took" \
        'BEGIN { exit !(from > end - took && to < end) }' ||
        fail "the switch ($from to $to) fell outside the transfer of media/intro.dat ($took s to $end)"
    expect_whole_release() { # release folder
        local path
        while IFS=$'\t' read -r path _; do
            expect_file "$target/$path" "$1/$path"
        done < <(tr -d '\r' < "$1/filelist.txt")
        [ -f "$target/AppLaunch.exe.started" ] || fail "the launcher did not start"
    }
    expect_whole_release "$srv/releases/50"
    rm -rf "$target"
    : > "$work/requests.log"
    drive wait-exit
    expect_whole_release "$srv/releases/51"
    cmp -s "$target/media/intro.dat" "$home/build/out/media/intro.dat" || fail "51 is not new"
    grep -q "^GET $base/docs/read me.txt?.* 200 " "$work/requests.log" ||
        fail "the name with a blank was not served"
}

# Behind a forward proxy: the system's proxy settings are used, and every request passes
# through it.
scenario_proxy_startup_fetch() {
    start_proxy
    drive wait-exit
    expect_log <<< "EXIT 0"
    local target="$desktop/Tarnell Temp Files"
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$target/$f" "$work/release/$f"
    done
    local served proxied
    served=$(grep -c "^GET $base/" "$work/requests.log" || true)
    proxied=$(grep -c "GET http://127.0.0.1:$port$base/" "$work/squid/access.log" || true)
    [ "$served" -ge 7 ] || fail "expected the list and six files, the server saw $served requests"
    [ "$served" = "$proxied" ] || fail "the server answered $served requests, the proxy passed $proxied"
}

# The operator sees the list message once, the updater ends, and no file is asked for.
expect_list_refused() {
    drive wait-boxes=1 close wait-exit
    expect_log <<'LOG'
BOX Download Error|Could not file list. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    expect_requests 0
}

# A list that cannot be had: the list message, and nothing fetched.
list_fault() {
    expect_list_refused
    expect_no_file "$drive_c/Quorvel/PelmoraUpdaterList.txt"
    [ -z "$(ls -A "$desktop/Tarnell Temp Files" 2>/dev/null)" ] || fail "files were fetched"
}

scenario_list_404() { echo "filelist.txt status 404" > "$work/faults"; list_fault; }
scenario_list_500() { echo "filelist.txt status 500" > "$work/faults"; list_fault; }
# One byte arrives: too short to be a list. It stays in the updater's own folder only.
scenario_list_1_byte() {
    printf 'a' > "$work/release/filelist.txt"
    expect_list_refused
    expect_no_file "$desktop/Tarnell Temp Files/PelmoraUpdaterList.txt"
}

# A list of exactly two bytes is a list without entries: nothing to fetch, no launcher.
scenario_list_2_bytes() {
    printf '\r\n' > "$work/release/filelist.txt"
    drive wait-minimised close wait-exit
    expect_log <<< "EXIT 0"
    expect_requests 0
}

# --- a run ended by force, two updaters at once, a full installation drive

expect_release_installed() {
    for f in Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$install/$f" "$work/release/$f"
    done
    expect_file "$install/PelmoraUpdaterList.txt" "$work/release/filelist.txt"
    expect_no_file "$install/PelmoraUpdaterRun.txt"
    [ -z "$(find "$install" -name 'temp1234.$$$')" ] || fail "a staged file was left behind"
}

# After an interrupted or failed run, the next ordinary run fetches every listed file again
# and leaves the release whole in place.
operator_reruns_and_everything_is_new() {
    rm -f "$install/AppLaunch.exe.started"
    operator_updates_the_installation
    expect_updated 5
    expect_release_installed
    [ -f "$install/AppLaunch.exe.started" ] || fail "the launcher did not start"
}

# The files the start-up run would fetch are already on the desktop: it fetches nothing, so
# a fault meant for the normal-mode run does not hit it.
desktop_holds_the_release() {
    local target="$desktop/Tarnell Temp Files"
    mkdir -p "$target"
    (cd "$work/release" && cp --parents Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat \
        docs/readme.txt "$target/")
}

# --- several transfers at once, and transfers resumed

# A release of COUNT files data/fNN.dat of SIZE bytes each, listed with stamp STAMP (and the
# launcher), for the start-up fetch.
many_files_release() { # count size stamp
    rm -rf "$work/release/data" "$work/release/bin" "$work/release/docs" "$work/release/Pelmora.exe"
    mkdir -p "$work/release/data"
    printf 'AppLaunch.exe\t%s\r\n' "$3" > "$work/release/filelist.txt"
    local i
    for i in $(seq -w 1 "$1"); do
        head -c "$2" /dev/urandom > "$work/release/data/f$i.dat"
        printf 'data/f%s.dat\t%s\r\n' "$i" "$3" >> "$work/release/filelist.txt"
    done
}

# Only the updater itself lies in its folder, and at most parts of files that can resume.
expect_nothing_beside_the_updater() {
    local f
    for f in "$drive_c/Quorvel"/* "$drive_c/Quorvel/PelmoraUpdaterParts"/*; do
        [ -e "$f" ] || continue
        case $f in
        */Quorvel.exe | */PelmoraUpdaterParts) ;;
        *) fail "left beside the updater: $f" ;;
        esac
    done
}

# 30 files, each answered a second after its request: fetched several at once, they all
# arrive whole well within the 31 s one after another would take.
scenario_many_slow_files() {
    many_files_release 30 20000 2026-12-10
    echo "* delay 1000" > "$work/faults"
    # Timed from the list's answer, logged once it is made: Wine's start is not the network's.
    : > "$work/requests.log"
    (while [ ! -s "$work/requests.log" ]; do sleep 0.05; done; date +%s.%N > "$work/first") &
    drive wait-exit
    local start end
    end=$(date +%s.%N)
    start=$(cat "$work/first" 2>/dev/null || echo "$end")
    expect_log <<< "EXIT 0"
    local f
    for f in "$work/release/data"/*.dat; do
        expect_file "$desktop/Tarnell Temp Files/data/${f##*/}" "$f"
    done
    awk -v s="$start" -v e="$end" 'BEGIN { exit !(e - s <= 12) }' ||
        fail "30 files took $(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }') s"
    expect_nothing_beside_the_updater
}

# The 10th of 24 files fails: the first 9 arrive, the 10th to the 24th are not installed,
# whatever was fetched for them ahead; nothing of them is left anywhere.
scenario_tenth_of_24_fails() {
    many_files_release 24 30000 2026-12-10
    echo "data/f10.dat status 500" > "$work/faults"
    drive "wait-boxes=1/60" close wait-exit
    expect_log <<'LOG'
BOX f10.dat|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    local target="$desktop/Tarnell Temp Files" i
    for i in $(seq -w 1 24); do
        if [ "$i" -lt 10 ]; then
            expect_file "$target/data/f$i.dat" "$work/release/data/f$i.dat"
        else
            expect_no_file "$target/data/f$i.dat"
        fi
    done
    expect_nothing_beside_the_updater
    [ -z "$(ls -A "$drive_c/Quorvel/PelmoraUpdaterParts" 2>/dev/null)" ] ||
        fail "parts were kept of files that arrived whole"
}

# A file of 40 MB cut after 32 MB (the connection lost) is kept as a part; the next run asks
# for the rest only (a 206 for its last 8 MB) and the file lands whole. With CHANGE, the
# server's file changes between the runs: it lands as the new one, sent whole, never joined
# to the old part.
cut_file_then_again() { # [change]
    many_files_release 1 41943040 2026-12-10
    echo "data/f1.dat cut 33554432" > "$work/faults"
    drive "wait-boxes=1/60" close wait-exit
    expect_log <<'LOG'
BOX f1.dat|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    [ -n "$(ls "$drive_c/Quorvel/PelmoraUpdaterParts"/*.part 2>/dev/null)" ] ||
        fail "the cut file left no part"
    : > "$work/faults"
    if [ -n "${1:-}" ]; then
        sleep 1.1 # another second: the file's new date is its own
        head -c 41943040 /dev/urandom > "$work/release/data/f1.dat"
    fi
    : > "$work/requests.log"
    drive wait-exit
    expect_log <<< "EXIT 0"
    expect_file "$desktop/Tarnell Temp Files/data/f1.dat" "$work/release/data/f1.dat"
    if [ -n "${1:-}" ]; then
        grep -q "f1.dat.* 200 41943040" "$work/requests.log" || fail "the new file was not sent whole"
    else
        grep -q "f1.dat.* 206 8388608" "$work/requests.log" ||
            fail "not only the rest was asked: $(cat "$work/requests.log")"
    fi
    expect_nothing_beside_the_updater
    [ -z "$(ls -A "$drive_c/Quorvel/PelmoraUpdaterParts" 2>/dev/null)" ] || fail "a part outlived its file"
}
scenario_cut_file_resumes() { cut_file_then_again; }
scenario_file_changed_between_runs() { cut_file_then_again change; }

# A release written by the release tool, whose every file a filtering proxy answers with its
# block page: each is refused for its size and hash, nothing is installed.
scenario_block_page_for_each_file() {
    local publish=${QUORVEL_PUBLISH:-$(dirname "$server")/quorvel-publish}
    rm -f "$work/release/filelist.txt"
    "$publish" publish "$work/release" >/dev/null || fail "the release tool refused the release"
    local f
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        printf 'Access Denied\r\nYour request was blocked by the administrator.\r\n' > "$work/release/$f"
    done
    drive "wait-boxes=1/60" close wait-exit
    expect_log <<'LOG'
BOX AppLaunch.exe|Could not download file. Check network connections or your PC's firewall.|OK
EXIT 0
LOG
    ! grep -rq "Access Denied" "$desktop/Tarnell Temp Files" 2>/dev/null || fail "a block page was installed"
    expect_nothing_beside_the_updater
}

# Ended by force while the server holds a file back (the operator gives up on a window that
# does not answer), then run again as usual: the installation ends complete and correct.
scenario_killed_mid_download() {
    changed_release
    desktop_holds_the_release
    echo "bin/core.dll stall 40" > "$work/faults"
    drive wait-minimised 'click=Manual Update' 'wait-enabled=Check Local Path' \
        'click=Check Local Path' 'wait-enabled=Download Files' 'click=Download Files' \
        sleep=4000 kill
    expect_log <<< "KILLED"
    expect_file "$install/Pelmora.exe" "$work/release/Pelmora.exe"
    grep -q "old bin/core.dll" "$install/bin/core.dll" || fail "the held-back file's place is empty"
    : > "$work/faults"
    operator_reruns_and_everything_is_new
}

# A second updater, from another folder, while the first one fetches: it changes nothing,
# says so and ends; the first one's files arrive whole and it starts the launcher once.
scenario_two_copies() {
    mkdir -p "$drive_c/Quorvel2"
    cp "$build/e2e/Quorvel.exe" "$drive_c/Quorvel2/Quorvel.exe"
    echo "bin/ui.dll stall 3" > "$work/faults"
    drive 'start-second=C:\Quorvel2\Quorvel.exe' wait-exit-second wait-exit
    expect_log <<'LOG'
SECOND BOX Update Error|The updater is already running.\nPlease wait until it has finished. This copy has changed nothing and will now close.|OK
SECOND EXIT 0
EXIT 0
LOG
    local target="$desktop/Tarnell Temp Files"
    for f in AppLaunch.exe Pelmora.exe bin/core.dll bin/ui.dll data/maps/world.dat docs/readme.txt; do
        expect_file "$target/$f" "$work/release/$f"
    done
    [ -f "$target/AppLaunch.exe.started" ] || fail "the launcher did not start"
    expect_no_file "$drive_c/Quorvel2/PelmoraUpdaterList.txt"
    expect_no_file "$drive_c/Quorvel2/temp1234.\$\$\$"
}

# The installation drive is full: the new core.dll cannot be copied onto it. No cut file at any
# target, the previous version back in place, the operator told; with room made, a rerun
# installs everything.
scenario_full_install_drive() {
    if ! mount -t tmpfs -o size=4m quorvel-e2e "$drive_p" 2>/dev/null; then
        echo "SKIP [$scenario]: no small drive can be mounted here (needs root)"
        exit 77
    fi
    trap 'kill $server_pid 2>/dev/null || true; umount "$drive_p" 2>/dev/null || true' EXIT
    changed_release
    head -c 600016 /dev/urandom > "$work/release/bin/core.dll"
    local avail
    avail=$(df --output=avail -B1 "$drive_p" | tail -n 1)
    head -c $((avail - 131072)) /dev/zero > "$drive_p/filler"
    operator_updates_the_installation
    expect_log <<'LOG'
BOX core.dll|Could not move downloaded file.|OK
BOX Error|Please update the files manually.\nMake sure you are logged in as Administrator.\nContact Tarnell for help.|OK
EXIT 0
LOG
    grep -q "old bin/core.dll" "$install/bin/core.dll" || fail "the previous core.dll is not back"
    expect_file "$install/Pelmora.exe" "$work/release/Pelmora.exe"
    [ -z "$(find "$install" -name 'temp1234.$$$')" ] || fail "a cut copy was left behind"
    rm -f "$drive_p/filler"
    operator_reruns_and_everything_is_new
}

prepare_prefix
map_install_drive
clear_proxy
reset_machine
copy_sample_release
case $scenario in
nginx_*) ;;
*) start_server ;;
esac
run_scenario
