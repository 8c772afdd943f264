#!/usr/bin/env bash
# An installed product that keeps itself up to date, end to end: builds velpack (native) and the
# Windows programs (64-bit tree); lays out version 1 of the demo product in a folder of the Wine
# prefix as a setup leaves it (the product, the plain update agent made with velpack, the
# installation settings file); builds version 2 as an update package with velpack and publishes it
# ("velpack publish") into a folder that nginx serves on a loopback port; starts the product and
# the agent with a short probe interval, and shows, step by step, the agent fetching the update,
# closing the product, running the update and starting the product again at version 2. Ends with
# a PASS or FAIL line. Without a DISPLAY it runs on a private Xvfb.
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash scripts/demo-autoupdate.sh [--screenshots [DIR]] [--timeout S]
Publishes version 2 of the demo product and lets the installed version 1's agent update it.
  --screenshots [DIR]  the agent asks before downloading: save a picture of that question, then
                       answer it; afterwards announce a version 3 and save a picture of the
                       announcement (DIR/agent-download-question.png, DIR/agent-inform.png;
                       default DIR: docs)
  --timeout S          how long to wait for the update (default 120 s)
  --help               show this text
The build trees are build/native and build/win64 (VEL_DEMO_BUILD=DIR uses DIR/native and DIR/win64).
TXT
}

here=$(cd "$(dirname "$0")/.." && pwd)
shots=""
timeout=120
while [ $# -gt 0 ]; do
    case "$1" in
        --help|-h) usage; exit 0 ;;
        --screenshots)
            shots="$here/docs"
            if [ $# -gt 1 ] && [ "${2#-}" = "$2" ]; then shots=$2; shift; fi ;;
        --timeout) timeout=$2; shift ;;
        *) echo "demo-autoupdate.sh: unknown argument \"$1\" (see --help)" >&2; exit 2 ;;
    esac
    shift
done

source "$here/scripts/demo-common.sh"
fail() { echo "FAIL: $*"; exit 1; }
demo_build stub vdebug recengine demoproduct || fail "the build failed (the demo product and the recording engine are in tools/)"

token="Velnor-Demo-7F3A"
demo="$win64/demo-autoupdate"
rm -rf "$demo"
mkdir -p "$demo/www/updates" "$demo/v2/install"
port=$(demo_free_port)
location="http://127.0.0.1:$port/updates"

# ---- version 2: an update package whose engine installs a new version file over the product
echo "== version 2: velpack build (update package) and velpack publish into $demo/www/updates"
cp "$win64/tools/engines/recengine.exe" "$demo/v2/Engine.exe"
printf '2\r\n' >"$demo/v2/install/version.txt"
printf '[English]\r\ns0=Demo Product Update\r\nCharset=0\r\n' >"$demo/languages.ini"
"$velpack" build --quiet --stub "$win64/src/stub/stub.exe" --languages "$demo/languages.ini" \
    --input "$demo/v2" --launch Engine.exe \
    --product-token "$token" --threads 1 --output "$demo/www/updates/Update.exe" >/dev/null
publish=("$velpack" publish --package "$demo/www/updates/Update.exe" --product-token "$token" --version 2
         --location "$location" --program-name "Demo Product" --running-process '<InstallDir>\DemoProduct.exe'
         --shutdown-method "Using WM_CLOSE" --restart-process --output "$demo/www/updates/Product.info")
[ -n "$shots" ] && publish+=(--confirm-download)
"${publish[@]}" | sed 's/^/   /'
sed 's/^/   | /; s/\r$//' "$demo/www/updates/Product.info"

demo_nginx_start "$demo/www" "$demo/nginx" "$port"
echo "== nginx serves $demo/www on http://127.0.0.1:$port/"

# ---- version 1, installed
demo_wine_start ${shots:+decorated}
folder="$WINEPREFIX/drive_c/Demo Product"
winfolder='C:\Demo Product'
rm -rf "$folder"
mkdir -p "$folder"
cp "$win64/tools/demoproduct/demoproduct.exe" "$folder/DemoProduct.exe"
printf '1\r\n' >"$folder/version.txt"
demo_make_agent "$folder/Updater.exe" "$location" Product.info "$token"
# Probing every 5 s, never probed yet: the first shot is due once the agent has counted its ticks.
demo_write_settings "$folder/Product.original" 1 "$winfolder" 5 0
echo "== version 1 installed in $winfolder ($folder):"
(cd "$folder" && ls -1 | sed 's/^/   /')

trace="$demo/trace.txt"
demo_viewer_start "$trace"
# Whatever ends early: no program of the demo outlives it.
demo_on_exit demo_stop_update_programs

echo "== starting the product (version 1)"
"$WINELOADER" "$folder/DemoProduct.exe" >/dev/null 2>&1 &
demo_wait_window '^Velnor Demo Product - version' 20 >/dev/null || echo "   (its window did not show)"
sed 's/^/   demoproduct.log: /; s/\r$//' "$folder/demoproduct.log" 2>/dev/null || true

echo "== starting the update agent: Updater.exe (it starts its copy X_Updater.exe)"
start=$SECONDS
"$WINELOADER" "$folder/Updater.exe" >/dev/null 2>&1 || true

answered=""
version() { tr -d '\r\n ' 2>/dev/null <"$folder/version.txt"; }
restarted() { grep -q "start version=2" "$folder/demoproduct.log" 2>/dev/null; }
# What happens, as it happens: the agent copy, the steps of its run log, the product's runs.
seen_log=1 seen_run=1 seen_copy="" seen_version=1
at() { printf '   %3d s: %s\n' $((SECONDS - start)) "$1"; }
watch_once() {
    local n line
    if [ -z "$seen_copy" ] && demo_host_pid X_Updater.exe >/dev/null; then
        seen_copy=1
        at "the agent copy X_Updater.exe runs"
    fi
    n=$(wc -l 2>/dev/null <"$folder/X_Updater.log" || echo 0)
    if [ "$n" -gt "$seen_log" ]; then
        sed -n "$((seen_log + 1)),${n}p" "$folder/X_Updater.log" | tr -d '\r' \
            | grep -E 'Download (START|END)|GetOkToPerformAU|Shut Down|PerformAutoUpdate\(\) - END|ReStartAutoUpdateExe\(\) - Start|not implemented' \
            | sed 's/^.*[0-9]  *[0-9][0-9]* X //' | while IFS= read -r line; do at "agent: $line"; done || true
        seen_log=$n
    fi
    n=$(wc -l 2>/dev/null <"$folder/demoproduct.log" || echo 0)
    if [ "$n" -gt "$seen_run" ]; then
        sed -n "$((seen_run + 1)),${n}p" "$folder/demoproduct.log" | tr -d '\r' \
            | while IFS= read -r line; do at "product: $line"; done
        seen_run=$n
    fi
    if [ "$(version)" != "$seen_version" ]; then
        seen_version=$(version)
        at "version.txt now says $seen_version"
    fi
}
seen_log=$(wc -l 2>/dev/null <"$folder/X_Updater.log" || echo 0)
while [ $((SECONDS - start)) -lt "$timeout" ]; do
    if [ -n "$shots" ] && [ -z "$answered" ] && id=$(demo_wait_window '^Update Question$' 0.5); then
        demo_shoot_window "$id" "$shots/agent-download-question.png" 1 || true
        xdotool key --window "$id" Return 2>/dev/null || true  # the default button: Yes
        answered=1
        at "the agent asked before downloading; answered Yes"
    fi
    watch_once
    [ "$(version)" = 2 ] && restarted && break
    sleep 0.5
done
sleep 2
watch_once
elapsed=$((SECONDS - start))

echo "== what nginx served"
sed 's/^/   /' "$demo/nginx/access.log"
echo "== the agents' run log: $folder/X_Updater.log ($(wc -l 2>/dev/null <"$folder/X_Updater.log" || echo 0) lines)"
echo "== the agent's trace lines (shots and their steps)"
tr -d '\r' <"$trace" | grep -E 'Fire|PerformShot|PerformAutoUpdate|PerformAutoInform|DownloadFileAU|GetOkToPerformAU|ReStartAutoUpdateExe|WinExec|Engine exit|not implemented' \
    | sed 's/^/   /' || true
echo "== the product's log (start and end of each run)"
sed 's/^/   /; s/\r$//' "$folder/demoproduct.log" 2>/dev/null || echo "   (none)"
echo "== installed version: $(version) (version.txt); VersionOriginal=$(tr -d '\r' <"$folder/Product.original" | sed -n 's/^VersionOriginal=//p')"

ok=1
[ "$(version)" = 2 ] || { ok=""; echo "   the product folder still holds version $(version)"; }
grep -q "^closed pid=" "$folder/demoproduct.log" 2>/dev/null || { ok=""; echo "   version 1 was not closed by WM_CLOSE"; }
restarted || { ok=""; echo "   the product was not started again at version 2"; }
tr -d '\r' <"$folder/Product.original" | grep -q '^VersionOriginal=2$' || { ok=""; echo "   the settings file does not record version 2"; }
demo_host_pid DemoProduct.exe >/dev/null || { ok=""; echo "   the product does not run now"; }

if [ -n "$shots" ] && [ -n "$ok" ]; then
    echo "== announcing version 3 (inform mode) for a picture of the announcement"
    "$velpack" publish --package "$demo/www/updates/Update.exe" --product-token "$token" --version 3 \
        --location "$location" --program-name "Demo Product" --inform-url "http://127.0.0.1:$port/download.html" \
        --inform-width 460 --inform-height 330 \
        --inform '{\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Verdana;}}\fs20 {\b\fs28 Demo Product 3 is here}\par\par It opens twice as fast and brings a {\b dark theme}.\par\par Changes:\par \bullet  faster start\par \bullet  smaller downloads\par \bullet  fixes for long file names\par}' \
        --output "$demo/www/updates/Product.info" | sed 's/^/   /'
    "$WINELOADER" "$folder/Updater.exe" /TEST=1 >/dev/null 2>&1 || true
    if id=$(demo_wait_window '^Demo Product: a new version$' 60); then
        demo_shoot_window "$id" "$shots/agent-inform.png" 1.5 || true
        xdotool key --window "$id" alt+F4 2>/dev/null || true
    else
        echo "   the announcement did not show" >&2
    fi
fi

if [ -n "$ok" ]; then
    echo "PASS: the agent updated the product from version 1 to 2 and started it again ($elapsed s)"
else
    echo "FAIL: the product was not updated to version 2 within $timeout s"
    exit 1
fi
