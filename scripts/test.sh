#!/usr/bin/env bash
# Every test: set up what is missing, build every preset, then one CTest run
# that covers the native unit tests, the sanitizer build, the Windows unit
# tests and end-to-end tests under Wine, and the fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-setup.sh
scripts/build.sh
ctest --test-dir build/native --output-on-failure --timeout 900 -j2 "$@"
