#!/bin/sh
# The store at work, end to end, in a Wine prefix of its own (build/win64/demo-prefix):
# regsvr32 registers Tarnwick.dll, a VBScript client runs the quickstart, and an
# early-bound C++ client runs the typical request with an event sink connected.
set -eu
cd "$(dirname "$0")/.."
build=build/win64
cmake --build --preset win64 --target tarnwick_client >/dev/null

TARNWICK_WINEPREFIX="$(pwd)/$build/demo-prefix"
export TARNWICK_WINEPREFIX
run="$build/wine-run.sh"
# The class is registered under the bare file name "Tarnwick.dll": put its folder
# on the search path of every program in the prefix.
WINEPATH="Z:$(pwd | tr / '\\')\\build\\win64"
export WINEPATH
out="$build/demo-out"
mkdir -p "$out"
winout="Z:$(pwd | tr / '\\')\\build\\win64\\demo-out"

echo "== regsvr32 Tarnwick.dll"
"$run" regsvr32 /s "$WINEPATH\\Tarnwick.dll"

if [ -f examples/quickstart.vbs ]; then
    echo
    echo "== cscript examples\\quickstart.vbs"
    rm -f "$out/quickstart.xml"
    "$run" cscript //nologo "Z:$(pwd | tr / '\\')\\examples\\quickstart.vbs" "$winout\\quickstart.xml"
fi

echo
echo "== examples/cpp: an early-bound client with an event sink"
rm -f "$out/client.xml"
"$run" "$build/examples/tarnwick_client.exe" "$winout\\client.xml"
echo
echo "== the file it saved"
cat "$out/client.xml"
