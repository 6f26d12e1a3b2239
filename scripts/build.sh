#!/usr/bin/env bash
# Configures (once) and builds the given presets; all of them when none is named.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native native-asan fuzz mingw64 mingw32)
for preset in "${presets[@]}"; do
  if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset"
done
