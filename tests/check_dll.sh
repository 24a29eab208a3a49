#!/bin/sh
# Static checks of both Tarnwick.dll builds: the export directory, the four exports
# with their ordinals, and an import table that names only Windows system DLLs
# (libgcc, libstdc++ and winpthread are linked in).
set -u
status=0
fail() { echo "FAIL: $*"; status=1; }

check() {
    dll=$1 objdump=$2
    [ -f "$dll" ] || { fail "$dll is missing"; return; }
    dump=$($objdump -p "$dll")
    echo "$dump" | grep -Eq "^Name[[:space:]]+[0-9a-f]+[[:space:]]+Tarnwick\.DLL\$" \
        || fail "$dll: export directory is not named Tarnwick.DLL"
    # The name table lists "[index] name"; the ordinal is the index plus the base, 1.
    names=$(echo "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
        | sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([A-Za-z0-9_@]*\)$/\1 \2/p')
    expected="0 DllCanUnloadNow
1 DllGetClassObject
2 DllRegisterServer
3 DllUnregisterServer"
    [ "$names" = "$expected" ] || fail "$dll: exports are
$names
expected DllCanUnloadNow, DllGetClassObject, DllRegisterServer, DllUnregisterServer at ordinals 1 to 4"
    imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
    for imported in $imports; do
        case $imported in
            kernel32.dll|advapi32.dll|ole32.dll|oleaut32.dll|user32.dll|msvcrt.dll|shlwapi.dll|api-ms-win-*) ;;
            *) fail "$dll imports $imported, which Windows does not provide" ;;
        esac
    done
    echo "$dll: exports and imports checked"
}

check "$1" i686-w64-mingw32-objdump
check "$2" x86_64-w64-mingw32-objdump
[ $status = 0 ] && echo "2 passed, 0 failed"
exit $status
