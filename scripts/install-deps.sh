#!/usr/bin/env bash
# Installs every Debian package that the build, the demo and the tests need (Debian 12, as root).
set -euo pipefail
packages=(
  cmake make g++ pkg-config
  mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils imagemagick socat
  libmodbus-dev libcairo2-dev libgtest-dev googletest libbenchmark-dev
  espeak-ng sox fonts-liberation fonts-dejavu-core mbpoll jq ghostscript
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
