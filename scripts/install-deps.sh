#!/bin/sh
# Installs the Debian packages that building and testing need, when any is missing.
set -eu
packages="cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 libwine-dev googletest"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$missing" >&2
    echo "install them with: sudo apt-get update && sudo apt-get install -y$missing" >&2
    exit 1
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq$missing
