#!/usr/bin/env bash
# The main job, end to end: builds velpack (native) and the Windows programs (64-bit tree),
# makes the demo setup file from examples/demo with velpack, runs it under Wine and prints what
# happened: the stub's trace lines (caught by the debug viewer), the engine's exit code and the
# files the demo engine installed. Without a DISPLAY it runs on a private Xvfb.
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash scripts/demo.sh [--screenshot [FILE]]
Builds the demo setup file and runs it under Wine, then prints what happened.
  --screenshot [FILE]  also save a picture of the stub window while it extracts
                       (default docs/stub-extracting.png)
  --help               show this text
The build trees are build/native and build/win64 (VEL_DEMO_BUILD=DIR uses DIR/native and DIR/win64).
TXT
}

here=$(cd "$(dirname "$0")/.." && pwd)
shot=""
while [ $# -gt 0 ]; do
    case "$1" in
        --help|-h) usage; exit 0 ;;
        --screenshot)
            shot="$here/docs/stub-extracting.png"
            if [ $# -gt 1 ] && [ "${2#-}" = "$2" ]; then shot=$2; shift; fi ;;
        *) echo "demo.sh: unknown argument \"$1\" (see --help)" >&2; exit 2 ;;
    esac
    shift
done

source "$here/scripts/demo-common.sh"
demo_build stub demoengine vdebug

demo="$win64/demo"
rm -rf "$demo"
mkdir -p "$demo/payload"
cp -r "$here/examples/demo/files/." "$demo/payload/"
cp "$win64/examples/demo/demoengine.exe" "$demo/payload/DemoEngine.exe"
setup="$demo/VelnorDemoSetup.exe"

echo "== velpack build examples/demo/demo.ini"
"$velpack" build "$here/examples/demo/demo.ini" \
    --stub "$win64/src/stub/stub.exe" --input "$demo/payload" --output "$setup"
"$velpack" info "$setup" | sed -n '1,/^Languages:/p'

demo_wine_start ${shot:+decorated}
installed="$WINEPREFIX/drive_c/VelnorDemo"
rm -rf "$installed"
trace="$demo/trace.txt"
demo_viewer_start "$trace"

echo "== running VelnorDemoSetup.exe under Wine"
set +e
"$WINELOADER" "$setup" >/dev/null 2>&1 &
run=$!
if [ -n "$shot" ]; then
    # The stub window shows while it extracts; take its picture then.
    if id=$(demo_wait_window '^Velnor Demo Setup$' 10); then
        demo_shoot_window "$id" "$shot" 1.2
    else
        echo "screenshot: the stub window did not show" >&2
    fi
fi
wait "$run"
code=$?
set -e
sleep 1
demo_viewer_stop

echo "== what the stub reported (its trace lines)"
tr -d '\r' < "$trace" | grep -E 'STUB START|DoRunStubWin|ForegroundOp|FilesCount|FileLen|UnCompressTime|WinExec|Engine exit|damaged|not implemented|STUB END' || true
echo "== setup exit code: $code (the demo engine's)"
echo "== installed into C:\\VelnorDemo of the Wine prefix ($installed):"
if [ -d "$installed" ]; then
    (cd "$installed" && find . -type f | sort | sed 's|^\./|   |')
else
    echo "   (nothing)"
fi
leftover=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name 'SETUP_*' 2>/dev/null | head -1)
[ -z "$leftover" ] && echo "== extraction folder removed" || echo "== extraction folder left behind: $leftover"
[ "$code" -eq 0 ] && [ -f "$installed/install.log" ]
