#!/usr/bin/env bash
# Runs the package set-up only when something the build or the tests need is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

needed_commands=(
  cmake ninja g++ clang++ python3
  x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix
  x86_64-w64-mingw32-windres i686-w64-mingw32-windres
  Xvfb xauth xdotool xwininfo convert
)
needed_files=(
  /usr/src/googletest/CMakeLists.txt
  /usr/lib/x86_64-linux-gnu/libz.a
  /usr/x86_64-w64-mingw32/lib/libz.a
  /usr/i686-w64-mingw32/lib/libz.a
  /usr/lib/wine/wine64
  /usr/lib/wine/wineserver
)

missing=()
for command in "${needed_commands[@]}"; do
  command -v "$command" >/dev/null 2>&1 || missing+=("$command")
done
for file in "${needed_files[@]}"; do
  [ -e "$file" ] || missing+=("$file")
done
if ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  missing+=(libclang-rt)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setting up: missing ${missing[*]}"
  "$here/setup.sh"
fi
