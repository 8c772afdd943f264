# Sourced by the demo scripts (and the agent benchmark): what they share. The packages, the build of
# velpack (native) and of the Windows programs (64-bit tree), a Wine session (a private Xvfb display
# unless one is given), nginx on a loopback port, the debug viewer catching trace lines, and a
# picture of a window. Everything started here is stopped at exit, in reverse order.
# Expects: here (the repository root) and set -euo pipefail in the caller.

demo_exit_cmds=()
# Runs CMD at exit (before what was registered earlier).
demo_on_exit() { demo_exit_cmds=("$1" "${demo_exit_cmds[@]}"); }
demo_run_exit_cmds() {
    local c
    for c in "${demo_exit_cmds[@]}"; do eval "$c" || true; done
    demo_exit_cmds=()
}
trap demo_run_exit_cmds EXIT

# Installs what is missing and builds velpack (native) and the given targets of the 64-bit Windows
# tree. Sets native and win64 (VEL_DEMO_BUILD=DIR uses DIR/native and DIR/win64), jobs and velpack.
demo_build() {
    bash "$here/scripts/deps.sh"
    jobs=$(nproc)
    local build="${VEL_DEMO_BUILD:-$here/build}"
    native="$build/native"
    win64="$build/win64"
    velpack="$native/tools/velpack/velpack"
    echo "== building velpack (native) and $* (64-bit Windows)"
    cmake -S "$here" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON >/dev/null
    cmake --build "$native" -j "$jobs" --target velpack >/dev/null
    cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
    cmake --build "$win64" -j "$jobs" --target "$@" >/dev/null
}

# A Wine session for the 64-bit tree: a private display and wineserver (stopped at exit) unless a
# DISPLAY is given, then the tree's prefix on that display. With "decorated", Wine draws the
# window frames itself (there is no window manager on a private display), for pictures.
demo_wine_start() {
    source "$here/scripts/wine-env.sh"
    if [ -z "${DISPLAY:-}" ]; then
        wine_env_start "$win64"
        demo_on_exit wine_env_stop
    else
        export WINEPREFIX="$win64/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
        [ -f "$WINEPREFIX/system.reg" ] || { "$WINELOADER" wineboot -i >/dev/null 2>&1 || true; }
    fi
    if [ "${1:-}" = decorated ]; then
        "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
    fi
}

# The Windows name of a host path (Wine's Z: drive).
winpath() { echo "Z:$1" | tr '/' '\\'; }

demo_free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# nginx serving ROOT on 127.0.0.1:PORT from a configuration of its own in DIR (its logs there too),
# optionally at RATE (as nginx's limit_rate, e.g. 48k); stopped at exit. Waits until it listens.
demo_nginx_start() {
    local root=$1 dir=$2 port=$3 rate=${4:-}
    mkdir -p "$dir/tmp"
    cat >"$dir/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 16; }
http {
  access_log $dir/access.log;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $root;${rate:+ limit_rate $rate;} }
}
CONF
    nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" </dev/null >/dev/null 2>&1 &
    demo_nginx_pid=$!
    demo_on_exit "kill $demo_nginx_pid 2>/dev/null; wait $demo_nginx_pid 2>/dev/null"
    local _
    for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
}

# The debug viewer appending every trace line to FILE (emptied first) until demo_viewer_stop.
demo_viewer_start() {
    : >"$1"
    "$WINELOADER" "$win64/tools/vdebug/vdebug.exe" --quiet --out "$(winpath "$1")" --seconds 3600 >/dev/null 2>&1 &
    demo_viewer_pid=$!
    demo_on_exit demo_viewer_stop
    sleep 1.5
}
demo_viewer_stop() {
    [ -n "${demo_viewer_pid:-}" ] || return 0
    kill "$demo_viewer_pid" 2>/dev/null || true
    wait "$demo_viewer_pid" 2>/dev/null || true
    demo_viewer_pid=""
}

# Waits up to SECONDS (tenths allowed) for a visible window whose title matches TITLE (a regular
# expression) and prints its id; nothing when none showed.
demo_wait_window() {
    local title=$1 tries i id
    tries=$(python3 -c "print(int(float('$2') * 10))")
    for ((i = 0; i < tries; i++)); do
        id=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# Saves a picture of the window ID to FILE after SETTLE seconds (so that it has drawn itself).
demo_shoot_window() {
    local id=$1 file=$2 settle=${3:-1}
    sleep "$settle"
    mkdir -p "$(dirname "$file")"
    if import -window "$id" "$file.part.png" 2>/dev/null; then
        mv "$file.part.png" "$file"
        echo "screenshot: $file"
    else
        rm -f "$file.part.png"
        echo "screenshot: could not take $file" >&2
        return 1
    fi
}

# ---- An installed product with its update agent, as a setup leaves it

# Now on the agent's clock: local seconds since 30 December 1899.
demo_agent_clock() {
    python3 -c 'import datetime; print(round((datetime.datetime.now() - datetime.datetime(1899, 12, 30)).total_seconds()))'
}

# Writes the plain update agent OUT: the 64-bit stub marked as an update agent with its file name,
# the product's token and the update location (LOCATION, INFO_NAME), writing its run log. Further
# arguments go to "velpack build" (e.g. --update-key FILE.pub).
demo_make_agent() {
    local out=$1 location=$2 info=$3 token=$4 work rc=0
    shift 4
    work=$(mktemp -d)
    mkdir "$work/input"  # an agent carries no files
    printf '[English]\r\ns0=Demo Product Update\r\nCharset=0\r\n' >"$work/languages.ini"
    "$velpack" build --quiet --stub "$win64/src/stub/stub.exe" --languages "$work/languages.ini" \
        --input "$work/input" --output "$out" --info-location "$location" --info-file "$info" \
        --agent-name "$(basename "$out")" --product-token "$token" --update-agent --agent-run-log --threads 1 "$@" \
        >"$work/log" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || cat "$work/log" >&2
    rm -rf "$work"
    return "$rc"
}

# Writes the installation settings file FILE as the setup engine leaves it: installed VERSION in
# the Windows folder TARGET, probing every PROBE seconds, last probe at LAST (agent clock), the
# boxes' look and the update texts.
demo_write_settings() {
    local file=$1 version=$2 target=$3 probe=$4 last=$5
    sed 's/$/\r/' >"$file" <<INI
[OriginalSetup]
ProbeSecondsInterval=$probe
ProbeSecondsLast=$last
ReAskSecondsInterval=0
ReAskSecondsLast=0
VersionOriginal=$version
Stamp=0
ProgramName=Demo Product
[Directories]
TargetDir=$target
[UnInstall]
[MsgBox]
BtnText=|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|
Error=Update Error
Confirm=Update Question
Attention=Update Notice
CharSet=0
FontName=Tahoma
FontSize=8
[AutoUpdate]
s2=No connection to the Internet.
s11=A new version of <B>PROG_NAME</B> is available.
s12=<P>Download it now?
s13=<P>Download it now? You will be asked again before it is installed.
s14=Install the new version of PROG_NAME now?
s15=Please close PROG_NAME to go on with the update.
s16=PROG_NAME has been updated.
s17=<P>Start it again?
s18=<P>It is downloaded now.
s19=<P>It is downloaded now; you will be asked before it is installed.
s20=The new version of PROG_NAME is installed now.
s21=No new version is available.
s22=Check for a new version of PROG_NAME now?
s23=<P>The update location is on the Internet.
s24=<P>Go on?
s34=Demo Product: a new version
s35=Download
INI
}

# Host process id of the Windows program whose path ends in NAME (as Wine shows it in the
# process's command line), running in this Wine session; empty when none.
demo_host_pid() {
    local name=$1 p cmd
    for p in /proc/[0-9]*; do
        cmd=$(tr '\0' ' ' 2>/dev/null <"$p/cmdline") || continue
        case "$cmd" in
            *"\\$name"*|*"/$name"*)
                tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" \
                    && { echo "${p#/proc/}"; return 0; } ;;
        esac
    done
    return 1
}

# Ends the programs an auto-update demo may leave running: the agent copies and the product.
demo_stop_update_programs() {
    local name p
    for name in X_Updater.exe X_X_Updater.exe DemoProduct.exe; do
        p=$(demo_host_pid "$name") && kill "$p" 2>/dev/null
    done
    return 0
}
