#!/bin/sh
# The store at work, end to end, in a Wine prefix of its own (build/<preset>/demo-prefix):
# regsvr32 registers Tarnwick.dll, a VBScript client runs the quickstart, and an
# early-bound C++ client runs the typical request with an event sink connected. It
# shows the 32-bit deliverable, or the 64-bit twin on a machine that cannot execute
# 32-bit programs.
set -eu
cd "$(dirname "$0")/.."
if sh scripts/runs32.sh; then
    preset=win32
    echo "Tarnwick demo: the 32-bit Tarnwick.dll (the deliverable) under 32-bit Wine"
else
    preset=win64
    echo "Tarnwick demo: the 64-bit Tarnwick.dll under wine64"
    echo "(this machine does not execute 32-bit programs, so the 32-bit DLL cannot run here)"
fi
build=build/$preset
log=build/demo-build-$preset.log
mkdir -p build
# Only what the demo runs: the DLL and the C++ client.
if ! { cmake --preset $preset && cmake --build --preset $preset --target tarnwick_client; } >"$log" 2>&1; then
    cat "$log"
    echo "demo: the build failed (log above, also in $log)" >&2
    exit 1
fi

TARNWICK_WINEPREFIX="$(pwd)/$build/demo-prefix"
export TARNWICK_WINEPREFIX
run="$build/wine-run.sh"
winroot="Z:$(pwd | tr / '\\')"
# The class is registered under the bare file name "Tarnwick.dll": put its folder
# on the search path of every program in the prefix.
WINEPATH="$winroot\\build\\$preset"
export WINEPATH
out="$build/demo-out"
mkdir -p "$out"
winout="$WINEPATH\\demo-out"

echo
echo "== regsvr32 Tarnwick.dll"
"$run" regsvr32 /s "$WINEPATH\\Tarnwick.dll"

echo
echo "== cscript examples\\quickstart.vbs"
rm -f "$out/quickstart.xml"
"$run" cscript //nologo "$winroot\\examples\\quickstart.vbs" "$winout\\quickstart.xml"

echo
echo "== examples/cpp: an early-bound client with an event sink"
rm -f "$out/client.xml"
"$run" "$build/examples/tarnwick_client.exe" "$winout\\client.xml"
echo
echo "== the file it saved"
cat "$out/client.xml"
