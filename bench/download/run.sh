#!/usr/bin/env bash
# Download benchmark. nginx serves a file of random bytes (256 MiB by default) on loopback; in one
# run, each twice with the faster run counting:
#   (a) dldriver: HTTP_DownloadFile_Incremental with the download relay, as the web stub calls it,
#   (b) mindownload: the least a WinINet program can do (64 KiB reads into one open file),
#   (c) curl on Linux.
# (a) and (b) run under 64-bit Wine. Prints the three figures and the ratio a/b (goal: >= 0.8).
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash bench/download/run.sh [--size MIB]
Download benchmark: the download layer vs a minimal WinINet program vs curl, from nginx on loopback.
  --size MIB   file size in MiB (default 256)
  --help       show this text
Build tree: build/win64 (VEL_BENCH_BUILD=DIR uses DIR/win64). Goal: a >= 0.8 x b.
TXT
}

here=$(cd "$(dirname "$0")/../.." && pwd)

# Inside the servers' environment: the measurements themselves.
if [ "${1:-}" = "--measure" ]; then
    size=$2 dldriver=$3 mindownload=$4
    out="$VEL_SRV_DIR/out"
    mkdir -p "$out"
    head -c "$((size * 1048576))" /dev/urandom >"$VEL_SRV_DIR/www/bench.bin"
    url="http://127.0.0.1:$VEL_HTTP_PORT/bench.bin"
    winout=$(echo "Z:$out" | tr '/' '\\')
    expected=$(sha256sum <"$VEL_SRV_DIR/www/bench.bin" | cut -d' ' -f1)
    best_a= best_b= best_c=
    check() {
        local got
        got=$(sha256sum <"$1" | cut -d' ' -f1)
        [ "$got" = "$expected" ] || { echo "run.sh: $2 wrote a different file" >&2; exit 1; }
        rm -f "$1"
    }
    faster() { if [ -z "$1" ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }
    for round in 1 2; do
        r=$("$WINELOADER" "$dldriver" "$url" "$winout\\a.bin" </dev/null 2>"$out/a.err") || { cat "$out/a.err" >&2; exit 1; }
        check "$out/a.bin" dldriver
        best_a=$(faster "$best_a" "$(echo "$r" | tr -d '\r' | cut -d' ' -f2)")
        r=$("$WINELOADER" "$mindownload" "$url" "$winout\\b.bin" </dev/null 2>"$out/b.err") || { cat "$out/b.err" >&2; exit 1; }
        check "$out/b.bin" mindownload
        best_b=$(faster "$best_b" "$(echo "$r" | tr -d '\r' | cut -d' ' -f2)")
        t=$(curl -s -o "$out/c.bin" -w '%{time_total}' "$url")
        check "$out/c.bin" curl
        best_c=$(faster "$best_c" "$(python3 -c "print(max(1, round($t * 1000)))")")
        echo "   round $round done"
    done
    python3 - "$size" "$best_a" "$best_b" "$best_c" <<'PY'
import sys
size, a, b, c = (int(x) for x in sys.argv[1:])
rate = lambda ms: size / (ms / 1000.0)
print("(a) HTTP_DownloadFile_Incremental + relay: %7.1f MB/s  (%d ms)" % (rate(a), a))
print("(b) minimal WinINet, 64 KiB reads:        %7.1f MB/s  (%d ms)" % (rate(b), b))
print("(c) curl (Linux):                          %7.1f MB/s  (%d ms)" % (rate(c), c))
ratio = rate(a) / rate(b)
print("ratio a/b: %.2f  (goal >= 0.80: %s)" % (ratio, "met" if ratio >= 0.8 else "NOT met"))
PY
    exit 0
fi

source "$(dirname "$0")/../size-option.sh"

bash "$here/scripts/deps.sh"
command -v curl >/dev/null || { export DEBIAN_FRONTEND=noninteractive; apt-get install -y -qq --no-install-recommends curl >/dev/null; }
win64="${VEL_BENCH_BUILD:-$here/build}/win64"
echo "== building the download driver and the minimal WinINet program (win64)"
cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j "$(nproc)" --target dldriver mindownload >/dev/null

source "$here/scripts/wine-env.sh"
wine_env_start "$win64"
trap wine_env_stop EXIT
echo "== $size MiB from nginx on loopback, each way twice"
bash "$here/tests/servers/with-servers.sh" "$win64/bench-download" bash "$here/bench/download/run.sh" --measure "$size" \
    "$win64/bench/download/dldriver.exe" "$win64/bench/download/mindownload.exe"
