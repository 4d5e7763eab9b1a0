#!/usr/bin/env bash
# Prints the server's folder of a release as the updater asks for it (no closing "/"), read
# from its one home in the sources, so that no script spells it again.
set -euo pipefail
names="$(dirname "$0")/../src/release/Names.h"
base=$(sed -n 's|^constexpr const char\* kUpdateBasePath = "\(.*\)/";$|\1|p' "$names")
[ -n "$base" ] || { echo "base-path: no update base path in $names" >&2; exit 1; }
echo "$base"
