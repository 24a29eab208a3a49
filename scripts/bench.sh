#!/bin/sh
# Benchmarks on both bitnesses, each writing build/<preset>/bench.json; the 32-bit one
# only where 32-bit programs run.
set -eu
cd "$(dirname "$0")/.."
presets=win64
if sh scripts/runs32.sh; then
    presets="win32 win64"
else
    echo "the 32-bit benchmark does not run: this machine does not execute 32-bit programs"
fi
for preset in $presets; do
    echo "== $preset"
    cmake --build --preset $preset --target tarnwick_bench >/dev/null
    build/$preset/wine-run.sh build/$preset/bench/tarnwick_bench.exe
done
