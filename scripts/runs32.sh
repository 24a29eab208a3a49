#!/bin/sh
# Answers whether this machine executes 32-bit programs, by trying: the 32-bit Wine
# loader is itself a 32-bit Linux program. Only a kernel without 32-bit support, which
# answers "Exec format error", counts as "no"; any other failure is left for the
# 32-bit suite to report.
probe=$(/usr/lib/wine/wine --version 2>&1) && exit 0
if echo "$probe" | grep -q "Exec format error"; then
    exit 1
fi
exit 0
