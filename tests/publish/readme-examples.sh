#!/usr/bin/env bash
# The sh blocks of the README's publishing section (and the key replacement of its protected-
# mode section), run as they stand, with quorvel-publish
# on the PATH and a folder of the test's own for ~ and for /srv/quorvel.
#
#   readme-examples.sh README TOOL WORK
set -euo pipefail
readme=$1
tool=$2
work=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/bin" "$work/home/release/bin" "$work/srv/quorvel/releases/50" "$work/home/build/out" \
    "$work/home/build/staged"
ln -s "$(realpath "$tool")" "$work/bin/quorvel-publish"
export PATH="$work/bin:$PATH" HOME="$work/home"
awk '/^## Publishing a release/ { on = 1; next } /^## / { on = 0 }
     on && /^```sh$/ { n++; inside = 1; next } inside && /^```$/ { inside = 0; next }
     inside { print > (dir "/block" n ".sh") }' dir="$work" "$readme"
[ -f "$work/block5.sh" ] || fail "the publishing section holds fewer than five sh blocks"
run() { (cd "$1" && sed "s|/srv/quorvel|$work/srv/quorvel|g" "$work/block$2.sh" | bash -euo pipefail) \
    > "$work/block$2.out" || fail "block $2 of the publishing section failed"; }
number() { sed -n 's/^release \([0-9]*\)\r$/\1/p' "$1/filelist.txt.sig"; }

# Keys, a dry run, a publish and its check, in a folder that holds the release.
printf 'product' > "$work/home/release/Pelmora.exe"
printf 'core' > "$work/home/release/bin/core.dll"
: > "$work/home/release/Thumbs.db"
run "$work/home" 1
[ "$(number "$work/home/release")" = 1 ] || fail "the first release is not numbered 1"
! grep -q Thumbs.db "$work/home/release/filelist.txt" || fail "Thumbs.db was listed"
cp "$work/home/release/filelist.txt" "$work/list-1"

# The build server's renewal: the key from standard input, a new number, the same list.
QUORVEL_SIGNING_KEY=$(cat "$work/home/maker.key") run "$work/home" 2
[ "$(number "$work/home/release")" = 2 ] || fail "the renewal did not take the next number"
cmp -s "$work/list-1" "$work/home/release/filelist.txt" || fail "the renewal changed the list"

# The switch: release 50 served through the link, release 51 made, checked and switched to.
srv=$work/srv/quorvel
printf 'old' > "$srv/releases/50/Pelmora.exe"
quorvel-publish publish "$srv/releases/50" --key "$HOME/maker.key" --release 50 >/dev/null
ln -s releases/50 "$srv/current"
printf "new" > "$HOME/build/out/Pelmora.exe"
run "$work/home" 3
[ "$(readlink "$srv/current")" = releases/51 ] || fail "current does not lead to releases/51"
[ "$(number "$srv/current")" = 51 ] || fail "the switched release is not numbered 51"
[ "$(cat "$srv/current/Pelmora.exe")" = new ] || fail "the switched release is not the new one"

# Staging and promoting: release 52, a hotfix, checked beside 51, then switched to.
printf 'hotfix 52' > "$HOME/build/staged/Pelmora.exe"
run "$work/home" 4
grep -q "dry run, nothing written: .*operators fetch 1 file, 9 bytes" "$work/block4.out" ||
    fail "the dry run did not say what operators fetch: $(cat "$work/block4.out")"
[ "$(readlink "$srv/current")" = releases/52 ] || fail "current does not lead to releases/52"
[ "$(number "$srv/current")" = 52 ] || fail "the promoted release is not numbered 52"

# Withdrawing 52: the files of 51 again, numbered 53, with 51's list byte for byte.
run "$work/home" 5
[ "$(readlink "$srv/current")" = releases/53 ] || fail "current does not lead to releases/53"
[ "$(number "$srv/current")" = 53 ] || fail "the withdrawal is not numbered 53"
cmp -s "$srv/releases/51/filelist.txt" "$srv/releases/53/filelist.txt" ||
    fail "release 53 does not list 51's files with 51's stamps"
grep -q "operators fetch 1 file" "$work/block5.out" || fail "$(cat "$work/block5.out")"
grep -q '^release 53 list-sha256 [0-9a-f]\{64\} key [0-9a-f]\{16\} signed ' \
    "$HOME/maker.key.history" || fail "the history does not hold release 53"

# Replacing the signing key, in a copy of release 53: the protected-mode section's second block.
awk '/^## Protected mode/ { on = 1; next } /^## / { on = 0 }
     on && /^```sh$/ { n++; inside = 1; next } inside && /^```$/ { inside = 0; next }
     inside { print > (dir "/protected" n ".sh") }' dir="$work" "$readme"
cp -a "$srv/releases/53" "$srv/releases/54"
(cd "$srv" && bash -euo pipefail "$work/protected2.sh") >/dev/null || fail "the key replacement block failed"
[ -f "$srv/releases/54/filelist.keys/1.txt" ] || fail "rotate wrote no key statement"
grep -q '^key-statements 1' "$srv/releases/54/filelist.txt.sig" || fail "the release does not rest on statement 1"
! grep -q filelist.keys "$srv/releases/54/filelist.txt" || fail "the key statement was listed"
echo "readme-examples: the publishing section's blocks ran as documented"
