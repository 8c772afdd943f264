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

bash "$here/scripts/deps.sh"
jobs=$(nproc)
build="${VEL_DEMO_BUILD:-$here/build}"
native="$build/native"
win64="$build/win64"

echo "== building velpack (native) and the stub, demo engine and debug viewer (64-bit Windows)"
cmake -S "$here" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON >/dev/null
cmake --build "$native" -j "$jobs" --target velpack >/dev/null
cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j "$jobs" --target stub demoengine vdebug >/dev/null

demo="$win64/demo-web"
rm -rf "$demo"
mkdir -p "$demo/payload" "$demo/www/setup" "$demo/nginx/tmp"
cp -r "$here/examples/demo/files/." "$demo/payload/"
cp "$win64/examples/demo/demoengine.exe" "$demo/payload/DemoEngine.exe"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
webstub="$demo/VelnorWebSetup.exe"

echo "== velpack web examples/demo/demo.ini"
"$native/tools/velpack/velpack" web "$here/examples/demo/demo.ini" \
    --stub "$win64/src/stub/stub.exe" --input "$demo/payload" --output "$demo/www/setup/VelnorDemoSetup.exe" \
    --web-location "http://127.0.0.1:$port/setup" --web-output "$webstub"
"$native/tools/velpack/velpack" info "$webstub" | sed -n "/^Web download list:/,/SetupFileSha256/p"

# nginx on loopback, from a configuration of its own; 48 KB/s so that the download takes seconds.
cat >"$demo/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $demo/nginx/nginx.pid;
error_log $demo/nginx/error.log;
events { worker_connections 16; }
http {
  access_log $demo/nginx/access.log;
  client_body_temp_path $demo/nginx/tmp/body;
  proxy_temp_path $demo/nginx/tmp/proxy;
  fastcgi_temp_path $demo/nginx/tmp/fastcgi;
  uwsgi_temp_path $demo/nginx/tmp/uwsgi;
  scgi_temp_path $demo/nginx/tmp/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $demo/www; limit_rate 48k; }
}
CONF
nginx -p "$demo/nginx" -e "$demo/nginx/error.log" -c "$demo/nginx/nginx.conf" </dev/null >/dev/null 2>&1 &
nginx_pid=$!
viewer=""
cleanup() {
    [ -n "$viewer" ] && kill "$viewer" 2>/dev/null
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    [ -n "${VEL_XVFB_PID:-}" ] && wine_env_stop
    return 0
}
trap cleanup EXIT
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
echo "== nginx serves $demo/www on http://127.0.0.1:$port/ (pid $nginx_pid)"

source "$here/scripts/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
    wine_env_start "$win64"
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

echo "== running VelnorWebSetup.exe under Wine"
set +e
start=$SECONDS
"$WINELOADER" "$webstub" >/dev/null 2>&1 &
run=$!
if [ -n "$shot" ]; then
    # The stub window shows while it downloads; take its picture once the bars have moved.
    for _ in $(seq 150); do
        id=$(xdotool search --onlyvisible --name '^Velnor Demo Setup$' 2>/dev/null | head -1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    if [ -n "${id:-}" ]; then
        sleep 2
        mkdir -p "$(dirname "$shot")"
        import -window "$id" "$shot.part.png" 2>/dev/null && mv "$shot.part.png" "$shot" && echo "screenshot: $shot"
    else
        echo "screenshot: the stub window did not show" >&2
    fi
fi
wait "$run"
code=$?
set -e
echo "== the web stub ran $((SECONDS - start)) s"
sleep 1
kill "$viewer" 2>/dev/null || true
wait "$viewer" 2>/dev/null || true
viewer=""

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
