#!/usr/bin/env bash
# Signed update-info files, end to end: makes a key pair ("velpack keygen"), lays out version 1 of
# the demo product in the Wine prefix with an update agent that carries the public key ("velpack
# build --update-key"), publishes a signed version 2 ("velpack publish --sign-key") into a folder
# that nginx serves, and shows the agent taking it. Then the server holds a signed version 3 with
# one byte changed, and after that a version 3 whose signature has expired (made with OpenSSL over
# the signed message, as anyone holding the key could): the agent refuses each, and the script
# prints its run-log lines. Ends with a PASS or FAIL line. Without a DISPLAY it runs on a private Xvfb.
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash scripts/demo-signed-update.sh [--timeout S]
An agent with an update key takes a signed update and refuses a tampered and an expired file.
  --timeout S  how long to wait for each step (default 120 s)
  --help       show this text
The build trees are build/native and build/win64 (VEL_DEMO_BUILD=DIR uses DIR/native and DIR/win64).
Needs openssl for the expired file.
TXT
}

here=$(cd "$(dirname "$0")/.." && pwd)
timeout=120
while [ $# -gt 0 ]; do
    case "$1" in
        --help|-h) usage; exit 0 ;;
        --timeout) timeout=$2; shift ;;
        *) echo "demo-signed-update.sh: unknown argument \"$1\" (see --help)" >&2; exit 2 ;;
    esac
    shift
done

source "$here/scripts/demo-common.sh"
fail() { echo "FAIL: $*"; exit 1; }
command -v openssl >/dev/null || fail "openssl is needed for the expired file"
demo_build stub vdebug recengine demoproduct || fail "the build failed"

token="Velnor-Demo-7F3A"
demo="$win64/demo-signed-update"
rm -rf "$demo"
mkdir -p "$demo/www/updates" "$demo/keys"
port=$(demo_free_port)
location="http://127.0.0.1:$port/updates"
info="$demo/www/updates/Product.info"
staged="$demo/Product.info"  # made here, then moved to the server whole

echo "== velpack keygen: the release key (kept off the update server)"
"$velpack" keygen --output "$demo/keys/release" | sed 's/^/   /'
pub="$demo/keys/release.pub"

# An update package to VERSION (its engine writes the new version file over the product).
make_update() {
    local version=$1 in="$demo/v$1"
    mkdir -p "$in/install"
    cp "$win64/tools/engines/recengine.exe" "$in/Engine.exe"
    printf '%s\r\n' "$version" >"$in/install/version.txt"
    "$velpack" build --quiet --stub "$win64/src/stub/stub.exe" --languages "$demo/languages.ini" --input "$in" \
        --launch Engine.exe --product-token "$token" --threads 1 --output "$demo/www/updates/Update$version.exe" >/dev/null
}
publish() {
    local version=$1
    shift
    "$velpack" publish --package "$demo/www/updates/Update$version.exe" --product-token "$token" --version "$version" \
        --location "$location" --program-name "Demo Product" --running-process '<InstallDir>\DemoProduct.exe' \
        --shutdown-method "Using WM_CLOSE" --restart-process --output "$staged" "$@"
}
printf '[English]\r\ns0=Demo Product Update\r\nCharset=0\r\n' >"$demo/languages.ini"
make_update 2
make_update 3

echo "== version 2 published, signed: velpack publish --sign-key (valid for 90 days)"
publish 2 --sign-key "$demo/keys/release.key" | sed 's/^/   /'
mv "$staged" "$info"
sed -n '1,3{s/^/   | /;s/\r$//;p}' "$info"
echo "   ..."
echo "== velpack info --key release.pub Product.info"
"$velpack" info --key "$pub" "$info" | grep '^signature' | sed 's/^/   /'

demo_nginx_start "$demo/www" "$demo/nginx" "$port"
demo_wine_start
folder="$WINEPREFIX/drive_c/Demo Product"
rm -rf "$folder"
mkdir -p "$folder"
cp "$win64/tools/demoproduct/demoproduct.exe" "$folder/DemoProduct.exe"
printf '1\r\n' >"$folder/version.txt"
demo_make_agent "$folder/Updater.exe" "$location" Product.info "$token" --update-key "$pub"
demo_write_settings "$folder/Product.original" 1 'C:\Demo Product' 5 0
echo "== version 1 installed; its agent carries the public key (velpack build --update-key):"
"$velpack" info "$folder/Updater.exe" | grep 'UpdateKey:' | sed 's/^/   /'

trace="$demo/trace.txt"
demo_viewer_start "$trace"
# Whatever ends early: no program of the demo outlives it.
demo_on_exit demo_stop_update_programs

version() { tr -d '\r\n ' 2>/dev/null <"$folder/version.txt"; }
runlog() { cat "$folder"/X_*Updater.log 2>/dev/null | tr -d '\r'; }
# Waits until the run log holds PATTERN (a grep expression); false after the timeout.
wait_runlog() {
    local start=$SECONDS
    while [ $((SECONDS - start)) -lt "$timeout" ]; do
        runlog | grep -q -- "$1" && return 0
        sleep 0.5
    done
    return 1
}
# Prints the run log's lines about the last fetch that match PATTERN.
show_runlog() { runlog | grep -E -- "$1" | tail -"${2:-3}" | sed 's/^.*[0-9]  *[0-9][0-9]* X /   run log: /'; }

ok=1
echo "== the product (version 1) and its agent start; the agent probes every 5 s"
"$WINELOADER" "$folder/DemoProduct.exe" >/dev/null 2>&1 &
demo_wait_window '^Velnor Demo Product - version' 20 >/dev/null || echo "   (its window did not show)"
"$WINELOADER" "$folder/Updater.exe" >/dev/null 2>&1 || true
start=$SECONDS
while [ $((SECONDS - start)) -lt "$timeout" ]; do
    [ "$(version)" = 2 ] && grep -q "start version=2" "$folder/demoproduct.log" 2>/dev/null && break
    sleep 0.5
done
show_runlog 'Download (START|END)|PerformAutoUpdate\(\) - END' 4
if [ "$(version)" = 2 ]; then
    echo "   the agent took the signed update: version.txt says 2 ($((SECONDS - start)) s)"
else
    ok=""
    echo "   the signed update was not installed (version $(version))"
fi

echo "== a tampered copy: version 3 signed, then one byte changed (BackgroundUpdate=0 -> 1)"
publish 3 --sign-key "$demo/keys/release.key" >/dev/null
sed -i 's/^BackgroundUpdate=0/BackgroundUpdate=1/' "$staged"
mv "$staged" "$info"
"$velpack" info --key "$pub" "$info" | grep '^signature' | sed 's/^/   /' || true
if wait_runlog 'update-info file refused: bad signature'; then
    show_runlog 'update-info file refused: bad signature' 1
else
    ok=""
    echo "   the agent did not refuse the tampered file"
fi

echo "== an expired file: version 3 signed with OpenSSL and the release key, expired an hour ago"
publish 3 >/dev/null  # the body, unsigned
keyid=$(openssl pkey -in "$demo/keys/release.key" -pubout -outform DER | tail -c 32 | sha256sum | cut -c1-16)
expires=$(( $(date +%s) - 3600 ))
{ printf 'velnor update-info 1\n%s\n%s\n' "$keyid" "$expires"; cat "$staged"; } >"$demo/expired.msg"
openssl pkeyutl -sign -rawin -inkey "$demo/keys/release.key" -in "$demo/expired.msg" -out "$demo/expired.sig"
{ printf '; signature ed25519 %s %s %s\r\n' "$keyid" "$expires" "$(od -An -v -tx1 "$demo/expired.sig" | tr -d ' \n')"
  cat "$staged"; } >"$staged.part"
mv "$staged.part" "$info"
"$velpack" info --key "$pub" "$info" | grep '^signature' | sed 's/^/   /' || true
if wait_runlog 'update-info file refused: expired'; then
    show_runlog 'update-info file refused: expired' 1
else
    ok=""
    echo "   the agent did not refuse the expired file"
fi

sleep 2
echo "== what nginx served"
sed 's/^/   /' "$demo/nginx/access.log"
echo "== installed version: $(version)"
[ "$(version)" = 2 ] || { ok=""; echo "   the product is not at version 2"; }
if [ -n "$ok" ]; then
    echo "PASS: the agent took the signed version 2 and refused the tampered and the expired file"
else
    echo "FAIL: see above"
    exit 1
fi
