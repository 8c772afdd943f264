#!/usr/bin/env bash
# A web setup, end to end: builds velpack (native) and the Windows programs (64-bit tree), makes the
# demo setup file and its web stub with "velpack web", serves the setup file with nginx on a
# loopback port (slowly, so that the download can be watched), runs the web stub under Wine and
# prints what happened: the download as nginx logged it, the stub's trace lines, the engine's exit
# code and the files the demo engine installed. Without a DISPLAY it runs on a private Xvfb.
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash scripts/demo-web.sh [--screenshot [FILE]]
Builds the demo web setup, serves its setup file with nginx and runs the web stub under Wine.
  --screenshot [FILE]  also save a picture of the stub window while it downloads
                       (default docs/stub-downloading.png)
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
            shot="$here/docs/stub-downloading.png"
            if [ $# -gt 1 ] && [ "${2#-}" = "$2" ]; then shot=$2; shift; fi ;;
        *) echo "demo-web.sh: unknown argument \"$1\" (see --help)" >&2; exit 2 ;;
    esac
    shift
done

source "$here/scripts/demo-common.sh"
demo_build stub demoengine vdebug

demo="$win64/demo-web"
rm -rf "$demo"
mkdir -p "$demo/payload" "$demo/www/setup"
cp -r "$here/examples/demo/files/." "$demo/payload/"
cp "$win64/examples/demo/demoengine.exe" "$demo/payload/DemoEngine.exe"
port=$(demo_free_port)
webstub="$demo/VelnorWebSetup.exe"

echo "== velpack web examples/demo/demo.ini"
"$velpack" web "$here/examples/demo/demo.ini" \
    --stub "$win64/src/stub/stub.exe" --input "$demo/payload" --output "$demo/www/setup/VelnorDemoSetup.exe" \
    --web-location "http://127.0.0.1:$port/setup" --web-output "$webstub"
"$velpack" info "$webstub" | sed -n "/^Web download list:/,/SetupFileSha256/p"

# 48 KB/s so that the download takes seconds.
demo_nginx_start "$demo/www" "$demo/nginx" "$port" 48k
echo "== nginx serves $demo/www on http://127.0.0.1:$port/ (pid $demo_nginx_pid)"

demo_wine_start ${shot:+decorated}
installed="$WINEPREFIX/drive_c/VelnorDemo"
rm -rf "$installed"
trace="$demo/trace.txt"
demo_viewer_start "$trace"

echo "== running VelnorWebSetup.exe under Wine"
set +e
start=$SECONDS
"$WINELOADER" "$webstub" >/dev/null 2>&1 &
run=$!
if [ -n "$shot" ]; then
    # The stub window shows while it downloads; take its picture once the bars have moved.
    if id=$(demo_wait_window '^Velnor Demo Setup$' 15); then
        demo_shoot_window "$id" "$shot" 2
    else
        echo "screenshot: the stub window did not show" >&2
    fi
fi
wait "$run"
code=$?
set -e
echo "== the web stub ran $((SECONDS - start)) s"
sleep 1
demo_viewer_stop

echo "== what nginx served"
sed 's/^/   /' "$demo/nginx/access.log"
echo "== what the stub reported (its trace lines)"
tr -d '\r' < "$trace" | grep -E 'STUB START|DoRunStubWin|HTTP_|WebDownloadAndRun|ForegroundOp|FilesCount|UnCompressTime|WinExec|Engine exit|STUB END' || true
echo "== setup exit code: $code (the demo engine's)"
echo "== installed into C:\\VelnorDemo of the Wine prefix ($installed):"
if [ -d "$installed" ]; then
    (cd "$installed" && find . -type f | sort | sed 's|^\./|   |')
else
    echo "   (nothing)"
fi
left=$(find "$WINEPREFIX/drive_c/users" -maxdepth 5 -name 'VelnorDemoSetup.exe*' 2>/dev/null | head -1)
[ -z "$left" ] && echo "== downloaded setup file removed from the temp folder" || echo "== left behind: $left"
[ "$code" -eq 0 ] && [ -f "$installed/install.log" ]
