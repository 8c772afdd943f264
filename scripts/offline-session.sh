#!/usr/bin/env bash
# Runs one Windows program offline: in a fresh network namespace that has only loopback, in a Wine
# session of its own (its own prefix and wineserver, started and stopped inside the namespace;
# Wine asks its own processes for the network adapters, so a program joining a wineserver outside
# would still see the machine's network). The program gets VEL_OFFLINE_SESSION=1. Needs root (or
# user namespaces) for unshare; the exit code is the program's.
#   offline-session.sh PREFIX PROGRAM [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=$(realpath -m "$1")
shift
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" VEL_OFFLINE_SESSION=1
export WINELOADER=${WINELOADER:-/usr/lib/wine/wine64} WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
exec unshare -n bash -c '
  ip link set lo up
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
    "$WINELOADER" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 || true
  fi
  set +e
  bash "$0" "$@"
  rc=$?
  "$WINESERVER" -k >/dev/null 2>&1
  "$WINESERVER" -w >/dev/null 2>&1
  exit $rc
' "$here/wine-run.sh" "$@"
