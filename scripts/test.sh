#!/bin/sh
# The whole suite: the 32-bit deliverable first, then the 64-bit twin (with the static
# checks of both DLLs). A machine that cannot execute 32-bit programs still tests the
# twin, and says so at the end.
set -u
cd "$(dirname "$0")/.."
status=0
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
