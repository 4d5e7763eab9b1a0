#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: does nothing when all of them are already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-dev pkg-config
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth x11-utils
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcpp-httplib-dev
  curl bc imagemagick iproute2
  libssl-dev libgnutls30 nginx squid openssl python3 locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
