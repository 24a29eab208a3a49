#!/bin/sh
# Runs the README's snippets as printed, in a Wine prefix of their own: the DLL is
# registered with regsvr32, the C++ client saves a store into its current folder and
# the VBScript snippet prints the attribute it set. Arguments: the build folder, the
# extracted script.
set -eu
build=$1
script=$2
TARNWICK_WINEPREFIX="$build/readme-prefix"
export TARNWICK_WINEPREFIX
run="$build/wine-run.sh"
winpath() { echo "Z:$1" | tr / '\\'; }
WINEPATH="$(winpath "$build")"
export WINEPATH
out="$build/readme-out"
rm -rf "$out"
mkdir -p "$out"
status=0
fail() { echo "FAIL: $*"; status=1; }

"$run" regsvr32 /s "$WINEPATH\\Tarnwick.dll" || fail "regsvr32 Tarnwick.dll"
(cd "$out" && "$run" "$build/tests/readme_client.exe") || fail "the C++ snippet failed"
grep -q '<invoice amount="1250"' "$out/store.xml" 2>/dev/null || fail "the C++ snippet saved no invoice into store.xml"
printed=$("$run" cscript //nologo "$(winpath "$script")" | tr -d '\r')
[ "$printed" = 1250 ] || fail "the VBScript snippet printed '$printed', not 1250"
"$run" regsvr32 /u /s "$WINEPATH\\Tarnwick.dll" || fail "regsvr32 /u Tarnwick.dll"
[ $status = 0 ] && echo "the README's C++ and VBScript snippets ran as printed"
exit $status
