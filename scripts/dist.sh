#!/bin/sh
# Assembles the release package from the two built presets: both installs into
# build/dist/Tarnwick-<version>/, SHA256SUMS over every other file, and a zip of the
# folder beside it. Prints the sizes of the packaged DLLs.
set -eu
cd "$(dirname "$0")/.."

name=$(cat build/win64/package/name)
[ "$(cat build/win32/package/name)" = "$name" ] ||
    { echo "build/win32 and build/win64 name different versions: configure both again" >&2; exit 1; }
dist=build/dist
out=$dist/$name
rm -rf "$out" "$out.zip"
cmake --install build/win32 --prefix "$out" >/dev/null
cmake --install build/win64 --prefix "$out" >/dev/null
(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)
(cd "$dist" && cmake -E tar cf "$name.zip" --format=zip "$name")

size() { wc -c < "$1" | tr -d ' '; }
for arch in x86 x64; do
    echo "$out/$arch/Tarnwick.dll: $(size "$out/$arch/Tarnwick.dll") bytes" \
        "(debug information: $(size "$out/$arch/Tarnwick.dll.debug") bytes in Tarnwick.dll.debug)"
done
echo "$out.zip: $(size "$out.zip") bytes"
