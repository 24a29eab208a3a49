#!/bin/sh
# Answers whether this machine executes 32-bit programs, by trying: the 32-bit Wine
# loader is itself a 32-bit Linux program. A kernel built without 32-bit support
# answers "Exec format error".
/usr/lib/wine/wine --version >/dev/null 2>&1
