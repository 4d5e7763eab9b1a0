#!/usr/bin/env bash
# The start-up fetch over slow links: Quorvel.exe under Wine against curl fetching one file
# after another on one connection and curl with 6 transfers at once, each first fetching the
# list and then the files it names, as the updater does (and, for comparison, curl with 6 at
# once given the files without fetching the list), on the same release, the
# same server and the same link, in alternating rounds. The link is made by the bench: three
# network namespaces (the server's, the link's, the clients'), joined by two veth pairs whose
# ends in the middle one are relayed by bench/wan/LinkRelay.cpp with the link's delay, rate
# and loss (this machine's kernel has no netem). The update server binds 127.0.0.1 in its
# namespace; in the clients' namespace, whose own loopback stays down, 127.0.0.1 is routed
# across the link (route_localnet), so the program reaches the address it was built for.
# Profiles: A, 40 ms round trip at 50 Mbit/s; B, 150 ms at 10 Mbit/s with 0.5 % loss in
# each direction. Releases: "small", the launcher and 299 files of 10-60 KB; "large", the
# launcher and 10 files of 5 MB. A round counts only when it ended as it must (every file
# asked for once and landed whole, the launcher started, no unfinished run left). Per
# profile and release it prints the medians with their spread, and the lines
#   ratio Quorvel/curl-parallel: R      ratio Quorvel/floor: R
# (floor: the release's bytes at the link's rate plus one round trip; each ratio the
# median of the rounds' own, with the lowest and highest in brackets).
#   bench/wan.sh [ROUNDS|--quick] [PORT]
# ROUNDS: 3 unless given; --quick: one round. PORT (a free loopback port) becomes the
# windows build's QUORVEL_E2E_PORT; without it the port already configured is used.
# WAN_PROFILES (default "A B") and WAN_RELEASES (default "small large") choose a part.
# Runs as root (namespaces); removes its namespaces when it ends, however it ends.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
# Ended by a signal, it still removes what it made (the EXIT trap of lib.sh).
trap 'exit 130' INT TERM HUP
rounds=${1:-3}
[ "$rounds" = --quick ] && rounds=1
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: bench/wan.sh [ROUNDS|--quick] [PORT]" >&2; exit 2; }
profiles=${WAN_PROFILES:-A B}
releases=${WAN_RELEASES:-small large}
[ "$(id -u)" = 0 ] || no_figure "the bench makes network namespaces: run it as root"

# The link of a profile: one-way delay in ms, rate in kbit/s, loss in per cent, and how it
# is named.
profile_link() { # PROFILE
    case $1 in
    A) echo "20 50000 0" ;;
    B) echo "75 10000 0.5" ;;
    *) no_figure "no profile $1 (A or B)" ;;
    esac
}
profile_name() {
    case $1 in
    A) echo "A (40 ms round trip, 50 Mbit/s)" ;;
    B) echo "B (150 ms round trip, 10 Mbit/s, 0.5 % loss)" ;;
    esac
}

bash scripts/setup.sh
build_host update-server quorvel-publish link-relay
build_windows "${2:-}" QuorvelE2E AppLaunch
work=$root/build/bench/wan
mkdir -p "$work"
note_load start

# --- the namespaces and the link

# Turns off the offloads of a veth end (segmentation, checksums), so that every frame the
# relay sees is a whole frame of at most the MTU with its checksums in place. No ethtool on
# this machine: the ioctl it would make.
plain_frames() { # NAMESPACE INTERFACE
    ip netns exec "$1" python3 - "$2" <<'PY'
import ctypes, fcntl, socket, struct, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for command in (0x1f, 0x24, 0x2c, 0x17):  # ETHTOOL_STSO, _SGSO, _SGRO, _STXCSUM
    value = ctypes.create_string_buffer(struct.pack("II", command, 0))
    request = struct.pack("16sP", sys.argv[1].encode(), ctypes.addressof(value)).ljust(40, b"\0")
    fcntl.ioctl(s, 0x8946, request)  # SIOCETHTOOL
PY
}

# Three namespaces named for this run; sets ns_server, ns_link, ns_client and the names of
# the relay's two interfaces.
make_namespaces() {
    local tag ns
    tag=$(printf '%04x' $(($$ % 65536)))
    ns_server=quorvel-wan-$tag-server ns_link=quorvel-wan-$tag-link ns_client=quorvel-wan-$tag-client
    for ns in "$ns_server" "$ns_link" "$ns_client"; do
        ip netns add "$ns" || no_figure "cannot make the network namespace $ns"
        bench_cleanups+=("ip netns del $ns 2>/dev/null")
        ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
            net.ipv6.conf.default.disable_ipv6=1
    done
    local server_end=qw${tag}s client_end=qw${tag}c
    link_server_end=qw${tag}a link_client_end=qw${tag}b
    ip link add "$server_end" netns "$ns_server" type veth peer name "$link_server_end" netns "$ns_link"
    ip link add "$client_end" netns "$ns_client" type veth peer name "$link_client_end" netns "$ns_link"
    plain_frames "$ns_server" "$server_end"
    plain_frames "$ns_client" "$client_end"
    plain_frames "$ns_link" "$link_server_end"
    plain_frames "$ns_link" "$link_client_end"
    ip -n "$ns_server" link set lo up
    ip -n "$ns_server" addr add 10.77.0.1/24 dev "$server_end"
    ip -n "$ns_client" addr add 10.77.0.2/24 dev "$client_end"
    ip -n "$ns_server" link set "$server_end" up
    ip -n "$ns_client" link set "$client_end" up
    ip -n "$ns_link" link set "$link_server_end" up
    ip -n "$ns_link" link set "$link_client_end" up
    # 127.0.0.1 is the server, across the link: the clients' own loopback stays down.
    ip netns exec "$ns_server" sysctl -qw net.ipv4.conf.all.route_localnet=1 \
        "net.ipv4.conf.$server_end.route_localnet=1"
    ip netns exec "$ns_client" sysctl -qw net.ipv4.conf.all.route_localnet=1 \
        "net.ipv4.conf.$client_end.route_localnet=1"
    ip -n "$ns_client" route add 127.0.0.1/32 via 10.77.0.1 dev "$client_end"
}

# The relay for a profile's link, in place of the one before; its counts go to
# $work/relay-PROFILE.out when it is stopped.
start_link() { # PROFILE
    local delay rate loss
    read -r delay rate loss < <(profile_link "$1")
    stop_link
    ip netns exec "$ns_link" build/host/bench/link-relay --delay-ms "$delay" --rate-kbit "$rate" \
        --loss-percent "$loss" "$link_server_end" "$link_client_end" >"$work/relay-$1.out" 2>&1 &
    relay_pid=$!
    bench_cleanups+=("kill $relay_pid 2>/dev/null")
    for _ in $(seq 50); do
        grep -q '^ready$' "$work/relay-$1.out" && break
        kill -0 "$relay_pid" 2>/dev/null || no_figure "the link relay did not start: $(cat "$work/relay-$1.out")"
        sleep 0.1
    done
    grep -q '^ready$' "$work/relay-$1.out" || no_figure "the link relay did not start"
    # The link as the clients see it: the second of two connections (the first waits for the
    # address resolution across the link too).
    local rtt
    for _ in 1 2; do
        rtt=$("${client_wrap[@]}" curl -s -o /dev/null -w '%{time_connect}' "$base/filelist.txt") ||
            no_figure "the server cannot be reached across the link"
    done
    echo "link $1: relay up, a connection takes $rtt s"
}
relay_pid=
stop_link() {
    [ -n "$relay_pid" ] || return 0
    kill "$relay_pid" 2>/dev/null || true
    wait "$relay_pid" 2>/dev/null || true
    relay_pid=
}

# --- the releases

small_release=$root/build/bench/wan-small
large_release=$root/build/bench/wan-large
use_release() { # small|large
    case $1 in
    small) make_release "$small_release" 299 10000 60000 ;;
    large) make_release "$large_release" 10 5000000 5000000 ;;
    *) no_figure "no release $1 (small or large)" ;;
    esac
    # The list is fetched as well: it is payload too.
    release_bytes=$((release_bytes + $(stat -c %s "$release/filelist.txt")))
}
for name in $releases; do use_release "$name"; done

make_namespaces
server_wrap=(ip netns exec "$ns_server")
client_wrap=(ip netns exec "$ns_client")
start_session
install_program build/windows/e2e/Quorvel.exe QuorvelWan Quorvel.exe

# Serves RELEASE on the server's side; the server of the release before is stopped.
serve() { # RELEASE
    [ -z "${server_pid:-}" ] || stop_server
    start_server "$1"
}

report() { # PROFILE RELEASE-NAME
    local t=$work/$1-$2 delay rate loss
    read -r delay rate loss < <(profile_link "$1")
    echo "== profile $(profile_name "$1"), release $2 ($release_files files, $release_bytes bytes)"
    echo "Quorvel.exe under Wine:          $(figure "$t.quorvel") s"
    echo "curl, one file after another:    $(figure "$t.sequential") s"
    echo "curl, 6 transfers at once:       $(figure "$t.parallel") s"
    echo "curl, 6 at once, no list:        $(figure "$t.files-only") s"
    printf 'floor (bytes at the rate + one round trip): %.2f s\n' "$(floor_of "$1")"
    echo "ratio Quorvel/curl-parallel: $(figure "$t.ratio-parallel")"
    echo "ratio Quorvel/curl-parallel-no-list: $(figure "$t.ratio-files-only")"
    echo "ratio Quorvel/curl-sequential: $(figure "$t.ratio-sequential")"
    echo "ratio Quorvel/floor: $(figure "$t.ratio-floor")"
}
floor_of() { # PROFILE
    local delay rate loss
    read -r delay rate loss < <(profile_link "$1")
    echo "$release_bytes * 8 / ($rate * 1000) + 2 * $delay / 1000" | bc -l
}

echo "== $rounds alternating rounds a profile and release"
for name in $releases; do
    use_release "$name"
    serve "$release"
    for profile in $profiles; do
        start_link "$profile"
        t=$work/$profile-$name
        : > "$t.quorvel" && : > "$t.sequential" && : > "$t.parallel" && : > "$t.files-only"
        : > "$t.ratio-parallel" && : > "$t.ratio-sequential" && : > "$t.ratio-floor"
        : > "$t.ratio-files-only"
        floor=$(floor_of "$profile")
        for _ in $(seq "$rounds"); do
            q=$(quorvel_round QuorvelWan)
            curl_list_first=1 curl_options=()
            s=$(curl_round)
            curl_options=(--parallel --parallel-max 6)
            p=$(curl_round)
            curl_list_first=
            f=$(curl_round)
            echo "$q" >> "$t.quorvel" && echo "$s" >> "$t.sequential" && echo "$p" >> "$t.parallel"
            echo "$f" >> "$t.files-only"
            echo "$q / $p" | bc -l >> "$t.ratio-parallel"
            echo "$q / $f" | bc -l >> "$t.ratio-files-only"
            echo "$q / $s" | bc -l >> "$t.ratio-sequential"
            echo "$q / $floor" | bc -l >> "$t.ratio-floor"
            echo "round: Quorvel $q s, curl $s s, curl 6 at once $p s, without the list $f s"
        done
        kill -0 "$relay_pid" 2>/dev/null || no_figure "the link relay ended during the rounds"
        stop_link
        cat "$work/relay-$profile.out" | grep -v '^ready$' || true
        report "$profile" "$name" | tee "$t.report"
    done
done
note_load end
echo "== summary"
for name in $releases; do
    for profile in $profiles; do cat "$work/$profile-$name.report"; done
done
