#!/usr/bin/env bash
# Sets up what is missing, builds Quorvel.exe and starts it under Wine, on the user's
# display or under Xvfb when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Quorvel

exec cmake/wine-run.sh "$PWD/build/windows/demo-prefix" build/windows/src/Quorvel.exe
