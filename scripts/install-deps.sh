#!/bin/sh
# Installs the Debian packages that building and testing need, when any is missing.
# The 32-bit Wine (wine32) runs the deliverable; it needs the i386 architecture enabled.
set -eu
packages="cmake make zip g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine32:i386 libwine-dev googletest"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
i386=yes
dpkg --print-foreign-architectures | grep -qx i386 || i386=no
[ -z "$missing" ] && [ "$i386" = yes ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$missing" >&2
    [ "$i386" = yes ] || echo "enable the i386 architecture with: sudo dpkg --add-architecture i386" >&2
    echo "install them with: sudo apt-get update && sudo apt-get install -y$missing" >&2
    exit 1
fi
[ "$i386" = yes ] || dpkg --add-architecture i386
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq$missing
