#!/usr/bin/env bash
# Keys and signatures of quorvel-publish on Linux and of quorvel-publish.exe (under Wine)
# are interchangeable: each verifies what the other signed, with keys made by either, and
# both write the same list for the same folder. On Windows too a publish in place replaces
# list and signature, and the key is read from standard input.
#
#   interop.sh HOST_TOOL WINDOWS_TOOL WINE_RUN PREFIX WORK
set -euo pipefail
host=$1
win=$2
wine_run=$3
prefix=$4
work=$5

fail() { echo "FAIL: $*" >&2; exit 1; }
# The Windows build sees the host's files through Z:.
winpath() { echo "Z:$1"; }
on_windows() { "$wine_run" "$prefix" "$win" "$@" 2>"$work/wine.err"; }
pubkey() { tail -n 1 | tr -d '\r'; }

rm -rf "$work"
mkdir -p "$work/release/bin"
printf 'launcher\r\n' > "$work/release/AppLaunch.exe"
printf 'core' > "$work/release/bin/core.dll"
head -c 300000 /dev/urandom > "$work/release/bin/big.dat"
touch -d '2026-12-01 12:00:00 UTC' "$work/release/AppLaunch.exe" "$work/release/bin/"*

linux_pub=$("$host" keygen "$work/linux.key" | pubkey)
windows_pub=$(on_windows keygen "$(winpath "$work/windows.key")" | pubkey)
[ ${#linux_pub} = 128 ] || fail "the Linux key: $linux_pub"
[ ${#windows_pub} = 128 ] || fail "the Windows key: $windows_pub $(cat "$work/wine.err")"
[ -f "$work/windows.key" ] || fail "the Windows build wrote no key file"
# Wine keeps a file's access as Unix mode bits and leaves them as they were made, whatever
# access list keygen sets, and says so; the key is then made private by hand.
grep -q "readable by others than its owner" "$work/wine.err" ||
    [ "$(stat -c %a "$work/windows.key")" = 600 ] || fail "keygen left its key open unsaid"
chmod 600 "$work/windows.key"
# A key others may read is refused on Windows too (Wine lets in Everyone for mode 0644).
cp -p "$work/linux.key" "$work/open.key" && chmod 644 "$work/open.key"
mkdir -p "$work/o" && printf 'x' > "$work/o/x.dll"
if on_windows publish "$(winpath "$work/o")" --key "$(winpath "$work/open.key")" >/dev/null; then
    fail "Windows signed with a key others may read"
fi
grep -q "may be read by others than its owner" "$work/wine.err" ||
    fail "Windows did not say why: $(cat "$work/wine.err")"

both_ways() { # key-file public-key
    local key=$1 pub=$2
    cp -rp "$work/release" "$work/a"
    cp -rp "$work/release" "$work/b"
    "$host" publish "$work/a" --key "$key" >/dev/null || fail "Linux publish with $key"
    on_windows publish "$(winpath "$work/b")" --key "$(winpath "$key")" >/dev/null ||
        fail "Windows publish with $key: $(cat "$work/wine.err")"
    cmp -s "$work/a/filelist.txt" "$work/b/filelist.txt" ||
        fail "the two builds wrote different lists: $(diff "$work/a/filelist.txt" "$work/b/filelist.txt")"
    grep -qP '^bin/core\.dll\t2026-12-01\tsha256=[0-9a-f]{64}\tsize=4\r$' "$work/a/filelist.txt" ||
        fail "the stamp does not hold the file's date: $(cat "$work/a/filelist.txt")"
    on_windows verify "$(winpath "$work/a")" --public "$pub" >/dev/null ||
        fail "Windows does not verify the Linux signature ($key): $(cat "$work/wine.err")"
    "$host" verify "$work/b" --public "$pub" >/dev/null ||
        fail "Linux does not verify the Windows signature ($key)"
    # The other key verifies neither.
    local other=$3
    if on_windows verify "$(winpath "$work/a")" --public "$other" >/dev/null; then
        fail "Windows verified with the wrong key"
    fi
    if "$host" verify "$work/b" --public "$other" >/dev/null 2>&1; then
        fail "Linux verified with the wrong key"
    fi
    rm -rf "$work/a" "$work/b"
}

[ "$(on_windows public "$(winpath "$work/linux.key")" | tr -d '\r')" = "$linux_pub" ] ||
    fail "Windows prints another public key of the Linux key file"

# A renewal in place on Windows, the key on standard input and the history named: the list
# kept, the number up; the history the Linux build reads on.
cp -rp "$work/release" "$work/c"
history=$(winpath "$work/c.history")
on_windows publish "$(winpath "$work/c")" --key - --history "$history" < "$work/linux.key" \
    >/dev/null || fail "Windows publish with the key on standard input: $(cat "$work/wine.err")"
cp "$work/c/filelist.txt" "$work/c-list"
on_windows publish "$(winpath "$work/c")" --key - --history "$history" < "$work/linux.key" \
    >/dev/null || fail "Windows renewal in place: $(cat "$work/wine.err")"
cmp -s "$work/c-list" "$work/c/filelist.txt" || fail "the renewal changed the list"
grep -q $'^release 2\r$' "$work/c/filelist.txt.sig" || fail "the renewal is not release 2"
ls "$work/c" | grep -q 'filelist\.txt\.\(tmp\|old\)' && fail "temporary files were left: $(ls "$work/c")"
"$host" verify "$work/c" --public "$linux_pub" >/dev/null || fail "Linux does not verify the renewal"
"$host" publish "$work/c" --key - --history "$work/c.history" < "$work/linux.key" >/dev/null ||
    fail "Linux does not continue the history the Windows build wrote"
grep -q $'^release 3\r$' "$work/c/filelist.txt.sig" || fail "Linux did not continue at release 3"
# Another key is refused over a release it did not sign, on Windows too.
if on_windows publish "$(winpath "$work/c")" --key - --history "$history" < "$work/windows.key" \
    >/dev/null; then
    fail "Windows signed over a release of another key"
fi
grep -q "was not signed by the key in use" "$work/wine.err" || fail "no key id: $(cat "$work/wine.err")"

both_ways "$work/linux.key" "$linux_pub" "$windows_pub"
both_ways "$work/windows.key" "$windows_pub" "$linux_pub"
echo "interop: keys and signatures of both builds verify on both"
