#!/usr/bin/env bash
# Broken-connection benchmark. nginx serves a file of random bytes (256 MiB by default) on loopback
# behind the cutting relay (tests/servers/cut_relay.py); dldriver fetches it under 64-bit Wine with
# the download layer as the web stub calls it, through the relay both times:
#   unbroken: the relay passes the reply on,
#   broken:   the relay cuts the connection at 25 %, 50 % and 75 % of the file's bytes.
# Runs alternate, three of each; the median time of each way counts.
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash bench/download/broken.sh [--size MIB]
Download over a connection cut three times (25 %, 50 %, 75 % of the file) vs the same download
unbroken, through the same relay in front of nginx on loopback, with dldriver under 64-bit Wine.
  --size MIB   file size in MiB (default 256)
  --help       show this text
Build tree: build/win64 (VEL_BENCH_BUILD=DIR uses DIR/win64).
Verdicts: completes with the same SHA-256; one request per unbroken run and a resume (206) per
cut with none started over, from the relay's log of replies; bytes relayed <= 1.05 x file size;
broken speed >= 0.8 x unbroken speed (median of 3 alternated runs). Exits non-zero when a
download fails or its file differs; the figures are reported, not enforced.
TXT
}

here=$(cd "$(dirname "$0")/../.." && pwd)
cuts="25p,50p,75p"

# Inside the servers' environment: the measurements themselves.
if [ "${1:-}" = "--measure" ]; then
    size=$2 dldriver=$3
    out="$VEL_SRV_DIR/out"
    mkdir -p "$out"
    head -c "$((size * 1048576))" /dev/urandom >"$VEL_SRV_DIR/www/bench.bin"
    expected=$(sha256sum <"$VEL_SRV_DIR/www/bench.bin" | cut -d' ' -f1)
    winout=$(echo "Z:$out" | tr '/' '\\')
    stats="$VEL_SRV_DIR/relay-stats.txt"
    results="$out/results.txt"
    : >"$results"
    # One download through the relay; PLAN names the cuts and a tag of the run's own counters.
    run() {
        local way=$1 plan=$2 r rc=0 got line
        r=$("$WINELOADER" "$dldriver" "http://127.0.0.1:$VEL_RELAY_PORT/cut/$plan/bench.bin" "$winout\\$way.bin" \
            </dev/null 2>"$out/$way.err") || rc=$?
        # The relay has counted the run once its connections are closed.
        for _ in $(seq 50); do grep -qx 'open=0' "$stats" && break; sleep 0.1; done
        line=$(grep "^$plan/bench.bin " "$stats" || true)
        if [ "$rc" -ne 0 ]; then
            echo "broken.sh: $way run did not complete: $(tr -d '\r' <"$out/$way.err")" >&2
            echo "   relay: $line" >&2
            exit 1
        fi
        got=$(sha256sum <"$out/$way.bin" | cut -d' ' -f1)
        [ "$got" = "$expected" ] || { echo "broken.sh: the $way run wrote a different file" >&2; exit 1; }
        rm -f "$out/$way.bin"
        echo "$way $(echo "$r" | tr -d '\r' | cut -d' ' -f2) $line" >>"$results"
    }
    for round in 1 2 3; do
        run unbroken "-,u$round"
        run broken "$cuts,b$round"
        echo "   round $round done"
    done
    python3 - "$size" "$results" "$stats.replies" <<'PY'
import collections, statistics, sys
size_mib, path, replies = int(sys.argv[1]), sys.argv[2], sys.argv[3]
size = size_mib * 1048576
# The replies of each run's download (probes left out): resumed (206) or from the start (200).
answers = collections.defaultdict(list)
for line in open(replies):
    if not line.rstrip().endswith(" probe"):
        answers[line.split()[0]].append(dict(x.split("=", 1) for x in line.split()[1:] if "=" in x))
runs = {"unbroken": [], "broken": []}
for line in open(path):
    way, ms, key, *fields = line.split()
    f = dict(x.split("=") for x in fields)
    got = answers[key]
    resumed = sum(1 for a in got if a["status"] == "206")
    over = sum(1 for a in got[1:] if a["status"] == "200")
    runs[way].append((int(ms), int(f["relayed"]), int(f["cuts"]), int(f["requests"]), resumed, over))
rate = lambda ms: size_mib / (ms / 1000.0)
for way, rs in runs.items():
    print("%-9s times %s ms; relayed %s bytes; cuts %s; requests %s; resumed %s; started over %s" % (
        way, ", ".join(str(r[0]) for r in rs), ", ".join(str(r[1]) for r in rs),
        ", ".join(str(r[2]) for r in rs), ", ".join(str(r[3]) for r in rs),
        ", ".join(str(r[4]) for r in rs), ", ".join(str(r[5]) for r in rs)))
u = statistics.median(r[0] for r in runs["unbroken"])
b = statistics.median(r[0] for r in runs["broken"])
print("unbroken (median of 3): %7.1f MiB/s  (%d ms)" % (rate(u), u))
print("broken   (median of 3): %7.1f MiB/s  (%d ms)" % (rate(b), b))
ok = lambda c: "met" if c else "NOT met"
print("completes, SHA-256 equal: met (every run)")
cut = all(r[2] == 3 for r in runs["broken"])
print("connection cut three times: %s" % ok(cut))
exact = all(r[4:] == (0, 0) for r in runs["unbroken"]) and all(r[4:] == (3, 0) for r in runs["broken"])
print("one request per unbroken run, a resume per cut, none started over: %s" % ok(exact))
most = max(r[1] for r in runs["broken"])
print("bytes relayed, broken: at most %.4f x file size (goal <= 1.05: %s)" % (most / size, ok(most <= 1.05 * size)))
ratio = rate(b) / rate(u)
print("speed broken/unbroken: %.2f (goal >= 0.80: %s)" % (ratio, ok(ratio >= 0.8)))
PY
    exit 0
fi

source "$(dirname "$0")/../size-option.sh"

bash "$here/scripts/deps.sh"
win64="${VEL_BENCH_BUILD:-$here/build}/win64"
echo "== building the download driver (win64)"
cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j "$(nproc)" --target dldriver >/dev/null

source "$here/scripts/wine-env.sh"
wine_env_start "$win64"
trap wine_env_stop EXIT
echo "== $size MiB from nginx through the cutting relay, unbroken and cut at $cuts, alternated, 3 each"
bash "$here/tests/servers/with-servers.sh" "$win64/bench-broken" bash "$here/bench/download/broken.sh" --measure "$size" \
    "$win64/bench/download/dldriver.exe"
