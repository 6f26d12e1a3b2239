#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again:
# apt-get skips what is already there. Needs root (or sudo) on Debian 12.
set -euo pipefail

packages=(
  cmake ninja-build make pkg-config
  g++ zlib1g-dev googletest
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 gcc-mingw-w64-x86-64 gcc-mingw-w64-i686
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  libz-mingw-w64-dev
  clang libclang-rt-14-dev llvm
  wine64 xvfb xauth xdotool x11-utils imagemagick fonts-ipafont-gothic
  python3
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"
