#!/usr/bin/env bash
# Extraction benchmark. Builds a mixed payload (256 MiB by default), packs it with velpack into a
# setup file and with makensis into a zlib installer, then under Wine, in one run:
#   the stub extracting it (its "UnCompressTime" trace line, peak working set of the process),
#   the minimal extractor (bench/extract/mininflate) on the same records: the platform's limit,
#   the installer extracting it silently (wall time minus that of an empty installer).
# Each is run twice and the faster run counts. Prints the three figures and the two ratios.
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash bench/extract/run.sh [--size MIB]
Extraction benchmark: stub vs the minimal inflate program vs a zlib installer, under Wine.
  --size MIB   payload size in MiB (default 256)
  --help       show this text
Build trees: build/native and build/win64 (VEL_BENCH_BUILD=DIR uses DIR/native and DIR/win64).
Goals: stub throughput >= 0.9 x the minimal program's, above the installer's; peak working set < 64 MiB.
TXT
}

source "$(dirname "$0")/../size-option.sh"

here=$(cd "$(dirname "$0")/../.." && pwd)
bench="$here/bench/extract"
bash "$here/scripts/deps.sh"
missing=()
command -v python3 >/dev/null || missing+=(python3)
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

build="${VEL_BENCH_BUILD:-$here/build}"
native="$build/native"
win64="$build/win64"
jobs=$(nproc)
echo "== building velpack (native), the stub, the engine, the minimal extractor and the viewer (win64)"
cmake -S "$here" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON >/dev/null
cmake --build "$native" -j "$jobs" --target velpack >/dev/null
cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j "$jobs" --target stub recengine mininflate vdebug >/dev/null

work="$win64/bench-extract"
rm -rf "$work"
mkdir -p "$work"
payload="$work/payload"
echo "== payload: $size MiB"
python3 "$bench/make_payload.py" "$payload" "$size"
cp "$win64/tools/engines/recengine.exe" "$payload/Engine.exe"
files=$(find "$payload" -type f | wc -l)
bytes=$(du -sb "$payload" | cut -f1)

echo "== packing (velpack, zlib level 9; makensis, zlib)"
printf '[English]\r\ns0=Extraction benchmark\r\n' > "$work/lang.ini"
"$native/tools/velpack/velpack" build --stub "$win64/src/stub/stub.exe" --languages "$work/lang.ini" \
    --input "$payload" --output "$work/setup.exe" --launch Engine.exe --level 9 >/dev/null
makensis -V1 -DOUT="$work/nsis.exe" -DPAYLOAD="$payload" "$bench/bench.nsi"
makensis -V1 -DOUT="$work/nsis-empty.exe" "$bench/bench.nsi"

source "$here/scripts/wine-env.sh"
wine_env_start "$win64"
viewer=""
cleanup() {
    [ -n "$viewer" ] && kill "$viewer" 2>/dev/null || true
    wine_env_stop
}
trap cleanup EXIT
winpath() { echo "Z:$1" | tr '/' '\\'; }
drive_c="$WINEPREFIX/drive_c"
ms() { date +%s%N | cut -b1-13; }
best() { sort -n | head -1; }

echo "== minimal extractor"
min_times=()
for _ in 1 2; do
    rm -rf "$drive_c/bench"
    t=$("$WINELOADER" "$win64/bench/extract/mininflate.exe" "$(winpath "$work/setup.exe")" 'C:\bench\min' |
        tr -d '\r' | sed -n 's/^MinimalTime: \([0-9]*\) MS$/\1/p')
    [ -n "$t" ] || { echo "minimal extractor failed" >&2; exit 1; }
    min_times+=("$t")
done
check_min=$(du -sb "$drive_c/bench/min" | cut -f1)

echo "== stub"
trace="$work/trace.txt"
stub_times=()
peak_kb=0
for _ in 1 2; do
    : > "$trace"
    "$WINELOADER" "$win64/tools/vdebug/vdebug.exe" --quiet --out "$(winpath "$trace")" --seconds 900 >/dev/null 2>&1 &
    viewer=$!
    sleep 1.5
    kb=$(/usr/bin/time -f '%M' "$WINELOADER" "$work/setup.exe" /hide 2>&1 >/dev/null | tail -1)
    sleep 0.5
    kill "$viewer" 2>/dev/null || true
    wait "$viewer" 2>/dev/null || true
    viewer=""
    t=$(tr -d '\r' < "$trace" | sed -n 's/^UnCompressTime: \([0-9]*\) MS$/\1/p' | tail -1)
    [ -n "$t" ] || { echo "stub run gave no UnCompressTime line" >&2; exit 1; }
    grep -q "Engine exit code: 0" "$trace" || { echo "stub run did not complete:" >&2; tr -d '\r' < "$trace" >&2; exit 1; }
    stub_times+=("$t")
    [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb
done

echo "== installer"
nsis_times=()
for _ in 1 2; do
    rm -rf "$drive_c/bench"
    t0=$(ms); "$WINELOADER" "$work/nsis-empty.exe" /S /D='C:\bench\empty'; t1=$(ms)
    "$WINELOADER" "$work/nsis.exe" /S /D='C:\bench\nsis'; t2=$(ms)
    nsis_times+=($(( (t2 - t1) - (t1 - t0) )))
done
check_nsis=$(du -sb "$drive_c/bench/nsis" | cut -f1)
rm -rf "$drive_c/bench"

min_t=$(printf '%s\n' "${min_times[@]}" | best)
stub_t=$(printf '%s\n' "${stub_times[@]}" | best)
nsis_t=$(printf '%s\n' "${nsis_times[@]}" | best)
python3 - "$bytes" "$files" "$(stat -c %s "$work/setup.exe")" "$stub_t" "$min_t" "$nsis_t" "$peak_kb" \
    "$check_min" "$check_nsis" <<'PY'
import sys
b, files, packed, stub, mini, nsis, peak, cmin, cnsis = map(int, sys.argv[1:])
mib = b / 1048576
rate = lambda ms: mib / (ms / 1000) if ms > 0 else float("inf")
print(f"payload: {mib:.1f} MiB in {files} files, setup file {packed / 1048576:.1f} MiB")
print(f"stub extraction (UnCompressTime):     {stub:6d} ms  {rate(stub):7.1f} MiB/s   peak working set {peak / 1024:.1f} MiB")
print(f"minimal inflate-and-write program:    {mini:6d} ms  {rate(mini):7.1f} MiB/s")
print(f"zlib installer, silent (net of empty): {nsis:5d} ms  {rate(nsis):7.1f} MiB/s")
r_min, r_nsis = mini / stub, nsis / stub
print(f"ratio stub / minimal throughput:   {r_min:.2f}  (goal >= 0.90) {'ok' if r_min >= 0.9 else 'MISSED'}")
print(f"ratio stub / installer throughput: {r_nsis:.2f}  (goal > 1.00) {'ok' if r_nsis > 1 else 'MISSED'}")
print(f"peak working set: {peak / 1024:.1f} MiB  (goal < 64 MiB) {'ok' if peak < 65536 else 'MISSED'}")
if cmin != b:
    print(f"note: the minimal extractor wrote {cmin} bytes, the payload has {b}")
if cnsis != b:
    print(f"note: the installer wrote {cnsis} bytes, the payload has {b}")
PY
