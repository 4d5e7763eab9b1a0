#!/usr/bin/env bash
# Sets up what is missing, builds both presets and runs every test.
# Fails when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in host windows sanitize fuzz; do
    echo "== $preset: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

status=0
for preset in host windows sanitize fuzz; do
    echo "== $preset: tests"
    ctest --preset "$preset" || status=1
done
exit $status
