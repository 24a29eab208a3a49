#!/bin/sh
# The store at work: a C++ client makes a store and prints its document.
set -eu
cd "$(dirname "$0")/.."
build=build/win64
cmake --build --preset win64 --target tarnwick_client >/dev/null
"$build/wine-run.sh" "$build/examples/tarnwick_client.exe" "Z:$(pwd)/$build/Tarnwick.dll"
