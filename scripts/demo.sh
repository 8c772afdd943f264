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

bash "$here/scripts/deps.sh"
jobs=$(nproc)
build="${VEL_DEMO_BUILD:-$here/build}"  # build trees: $build/native and $build/win64
native="$build/native"
win64="$build/win64"

echo "== building velpack (native) and the stub, demo engine and debug viewer (64-bit Windows)"
cmake -S "$here" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON >/dev/null
cmake --build "$native" -j "$jobs" --target velpack >/dev/null
cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j "$jobs" --target stub demoengine vdebug >/dev/null

demo="$win64/demo"
rm -rf "$demo"
mkdir -p "$demo/payload"
cp -r "$here/examples/demo/files/." "$demo/payload/"
cp "$win64/examples/demo/demoengine.exe" "$demo/payload/DemoEngine.exe"
setup="$demo/VelnorDemoSetup.exe"

echo "== velpack build examples/demo/demo.ini"
"$native/tools/velpack/velpack" build "$here/examples/demo/demo.ini" \
    --stub "$win64/src/stub/stub.exe" --input "$demo/payload" --output "$setup"
"$native/tools/velpack/velpack" info "$setup" | sed -n '1,/^Languages:/p'

# Wine: a private display unless one is given; the prefix lives in the build tree.
source "$here/scripts/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
    wine_env_start "$win64"
    trap wine_env_stop EXIT
else
    export WINEPREFIX="$win64/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    [ -f "$WINEPREFIX/system.reg" ] || { "$WINELOADER" wineboot -i >/dev/null 2>&1 || true; }
fi
winpath() { echo "Z:$1" | tr '/' '\\'; }

if [ -n "$shot" ]; then
    # No window manager on a private display: let Wine draw the window frames itself.
    "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
fi
installed="$WINEPREFIX/drive_c/VelnorDemo"
rm -rf "$installed"
trace="$demo/trace.txt"
: > "$trace"
"$WINELOADER" "$win64/tools/vdebug/vdebug.exe" --quiet --out "$(winpath "$trace")" --seconds 600 >/dev/null 2>&1 &
viewer=$!
sleep 1.5

echo "== running VelnorDemoSetup.exe under Wine"
set +e
"$WINELOADER" "$setup" >/dev/null 2>&1 &
run=$!
if [ -n "$shot" ]; then
    # The stub window shows while it extracts; take its picture then.
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name '^Velnor Demo Setup$' 2>/dev/null | head -1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    if [ -n "${id:-}" ]; then
        sleep 1.2
        mkdir -p "$(dirname "$shot")"
        import -window "$id" "$shot.part.png" 2>/dev/null && mv "$shot.part.png" "$shot" && echo "screenshot: $shot"
    else
        echo "screenshot: the stub window did not show" >&2
    fi
fi
wait "$run"
code=$?
set -e
sleep 1
kill "$viewer" 2>/dev/null || true
wait "$viewer" 2>/dev/null || true

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
