#!/bin/sh
# The release package at work without registration: unpacks the zip that `make dist`
# made into an empty folder, checks its checksums, its layout and its DLLs, then runs the
# registration-free client beside one architecture's DLL and manifests, in a new Wine
# prefix where nothing is registered.
#
#   package_test.sh ARCH ZIP BUILT_DLL CLIENT WORK WINE OBJDUMP CMAKE
#
# ARCH is x86 or x64; BUILT_DLL is the preset's Tarnwick.dll, which the package must
# hold unchanged; CLIENT is the registration-free client built from the package's
# headers; WORK is a folder this test owns. Exits 77 when this machine cannot start the
# architecture's programs.
set -u
arch=$1 zip=$2 built=$3 client=$4 work=$5 wine=$6 objdump=$7 cmake=$8
here=$(cd "$(dirname "$0")" && pwd)
status=0
fail() { echo "FAIL: $*"; status=1; }

[ -f "$zip" ] || { echo "FAIL: $zip is missing: run \`make dist\` before this test"; exit 1; }
[ -f "$client" ] || { echo "FAIL: $client is missing: build the preset first"; exit 1; }
# Wine wants an absolute prefix, and the unpacking runs elsewhere.
zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
mkdir -p "$work"
work=$(cd "$work" && pwd)

wineserver=$(dirname "$wine")/wineserver
prefix=$work/prefix
# A prefix left by an earlier run goes, with its server.
[ -d "$prefix" ] && WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
rm -rf "$prefix" "$work/unpacked"
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && "$cmake" -E tar xf "$zip") || { echo "FAIL: cannot unpack $zip"; exit 1; }
package=$(cd "$work/unpacked" && ls)
root=$work/unpacked/$package
[ "$package" = "$(basename "$zip" .zip)" ] ||
    { echo "FAIL: the zip holds '$package', not one folder named after it"; exit 1; }
echo "unpacked $zip"

# Every file is listed in SHA256SUMS, and every listed file matches.
(cd "$root" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
listed=$(sed 's/^[0-9a-f]*  //' "$root/SHA256SUMS" | LC_ALL=C sort)
present=$(cd "$root" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS does not list exactly the other files:
$listed
-- present --
$present"

for file in README.md LICENSE include/Tarnwick.h include/Tarnwick_i.c idl/Tarnwick.idl; do
    [ -f "$root/$file" ] || fail "$file is missing"
done
for a in x86 x64; do
    for file in Tarnwick.dll Tarnwick.dll.debug Tarnwick.tlb Orvane.Fenwright.Tarnwick.manifest client.exe.manifest; do
        [ -f "$root/$a/$file" ] || fail "$a/$file is missing"
    done
done

# The tests of this build ran this very DLL.
cmp -s "$built" "$root/$arch/Tarnwick.dll" ||
    fail "$arch/Tarnwick.dll is not $built: the package is stale, run \`make dist\`"

# Stripped, naming its debug information, which is complete.
sections=$("$objdump" -h "$root/$arch/Tarnwick.dll")
echo "$sections" | grep -q '\.gnu_debuglink' || fail "$arch/Tarnwick.dll names no debug file"
echo "$sections" | grep -q '\.debug_' && fail "$arch/Tarnwick.dll still carries debug sections"
"$objdump" -h "$root/$arch/Tarnwick.dll.debug" | grep -q '\.debug_info' ||
    fail "$arch/Tarnwick.dll.debug holds no debug information"

sh "$here/check_dll.sh" "$root/x86/Tarnwick.dll" "$root/x64/Tarnwick.dll" ||
    fail "the packaged DLLs fail the static checks"

[ $status = 0 ] || exit 1

# Skipped only where a 32-bit program demonstrably cannot start.
if [ "$arch" = x86 ] && ! sh "$here/../scripts/runs32.sh"; then
    echo "SKIP: this machine does not execute 32-bit programs"
    exit 77
fi

WINEPREFIX=$prefix
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
[ -f "$prefix/system.reg" ] || { echo "FAIL: wineboot made no prefix in $prefix"; exit 1; }

# The client's application manifest is the package's own example.
cp "$client" "$root/$arch/client.exe"
(cd "$root/$arch" && "$wine" ./client.exe)
code=$?
"$wineserver" -w
[ $code = 0 ] || fail "the registration-free client failed ($code)"
exit $status
