#!/usr/bin/env bash
# Runs one Windows program under 64-bit Wine for ctest and passes its exit code on.
# Its output goes through a file: Wine's helper processes (the desktop, console hosts) outlive the
# program and keep whatever output they inherited open, which would keep ctest waiting on a pipe.
out=$(mktemp)
"${WINELOADER:-/usr/lib/wine/wine64}" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
