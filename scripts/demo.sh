#!/usr/bin/env bash
# The main job: build everything, build a saver from the sample movie with
# saverkit, and show what its payload holds.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-setup.sh
scripts/build.sh

out=dist/sample
mkdir -p "$out"
for arch in x64 x86; do
  dist/bin/saverkit build --exe "dist/$arch/saver.scr" -o "$out/sample-$arch.scr" \
    --zitem MovieData=samples/sample.swf --text MovieName=sample.swf
done
echo "built $out/sample-x64.scr and $out/sample-x86.scr"
dist/bin/saverkit list "$out/sample-x64.scr"
