#!/usr/bin/env bash
# QUORVEL_RELEASE_KEY reaches the product's settings, and only an empty value or keys of 128
# hex digits, separated by commas, are accepted.
#   release-key-setting.sh SOURCE_DIR WORK_DIR KEY
set -euo pipefail
source=$1
work=$2
key=$3

configure() { rm -rf "$work"; cmake -S "$source" -B "$work" -G Ninja -DQUORVEL_RELEASE_KEY="$1" >"$work.log" 2>&1; }
header() { grep -h kReleaseKey "$work/generated/product/Settings.cpp"; }

configure "$key" || { cat "$work.log"; echo "FAIL: the key was refused" >&2; exit 1; }
[ "$(header)" = "const char* const kReleaseKey = \"$key\";" ] || { echo "FAIL: header reads $(header)" >&2; exit 1; }
two="$key,${key:64}${key:0:64}"
configure "$two" || { cat "$work.log"; echo "FAIL: two keys were refused" >&2; exit 1; }
[ "$(header)" = "const char* const kReleaseKey = \"$two\";" ] || { echo "FAIL: header reads $(header)" >&2; exit 1; }
configure "" || { echo "FAIL: the empty default was refused" >&2; exit 1; }
[ "$(header)" = 'const char* const kReleaseKey = "";' ] || { echo "FAIL: header reads $(header)" >&2; exit 1; }
for bad in "${key}0" "${key:1}" "${key:1}g" "not a key" "$key," ",$key" "$key,,$key" "$key;$key"; do
    if configure "$bad"; then
        echo "FAIL: accepted the key '$bad'" >&2
        exit 1
    fi
done
rm -rf "$work" "$work.log"
echo "release key setting: taken into the product's settings; malformed keys refused"
