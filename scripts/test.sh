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
passed=0
failed=0
# Runs one preset's suite, adding its counts from CTest's summary line
# ("100% tests passed, 0 tests failed out of 24") to the totals.
suite() {
    log="build/$1/ctest.log"
    ctest --preset "$1" 2>&1 | tee "$log"
    summary=$(grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$log" | tail -1)
    if [ -z "$summary" ]; then
        status=1
        return
    fi
    some_failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    passed=$((passed + total - some_failed))
    failed=$((failed + some_failed))
    [ "$some_failed" = 0 ] || status=1
}
if sh scripts/runs32.sh; then
    ran32=yes
    suite win32
else
    ran32=no
fi
suite win64
echo
if [ "$ran32" = no ]; then
    echo "the 32-bit suite did not run: this machine does not execute 32-bit programs"
fi
echo "tests: $passed passed, $failed failed"
exit $status
