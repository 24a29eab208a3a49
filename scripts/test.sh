#!/bin/sh
# The whole suite: the 32-bit deliverable first, then the 64-bit twin (with the static
# checks of both DLLs). A machine that cannot execute 32-bit programs still tests the
# twin, and says so at the end.
set -u
cd "$(dirname "$0")/.."
status=0
# A 64 KiB file system for the test that saves onto a full disk, where this user may
# mount one; elsewhere that test says why it skips.
tiny="$(pwd)/build/tiny-fs"
if [ "$(id -u)" = 0 ] && mkdir -p "$tiny" && mount -t tmpfs -o size=64k tmpfs "$tiny" 2>/dev/null; then
    trap 'umount "$tiny"' EXIT
    TARNWICK_SMALL_FS="Z:$(echo "$tiny" | tr / '\\')"
    export TARNWICK_SMALL_FS
fi
if sh scripts/runs32.sh; then
    ran32=yes
    ctest --preset win32 || status=1
else
    ran32=no
fi
ctest --preset win64 || status=1
if [ "$ran32" = no ]; then
    echo
    echo "the 32-bit suite did not run: this machine does not execute 32-bit programs"
fi
exit $status
