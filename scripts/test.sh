#!/usr/bin/env bash
# Sets up what is missing, then configures, builds and tests every preset, each as one
# `cmake --workflow --preset NAME`. Fails when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

status=0
for preset in host windows sanitize fuzz; do
    echo "== $preset: configure, build and test"
    cmake --workflow --preset "$preset" || status=1
done
exit $status
