#!/usr/bin/env bash
# The update agent's resident cost while it waits: an installed product's agent copy runs idle (its
# next probe a day away) for some minutes under Wine; its CPU time (user + kernel, from /proc of
# the Wine process that runs it) and its private memory (Private_Clean + Private_Dirty of
# smaps_rollup) are sampled at the start, at points between and at the end. Prints CPU scaled to
# seconds per hour and the memory figures; exits 1 when private memory grew by more than the
# tolerance, or when the agent did not stay up.
#   bench/agent/run.sh [--minutes N] [--samples K] [--tolerance-kb T] [--baseline S]
# Defaults: 3 minutes, 6 samples after the first, 256 KiB, 30 s. The agent is the 64-bit build (the
# shipped 32-bit stub would run under the i386 emulator here, which says nothing of its cost).
# Also shows the CPU time of the session's wineserver over the same span (timers and messages pass
# through it), beside its rate over S seconds before the agent starts (Wine's own background
# programs), so that the difference is the agent's share; and, as the floor, the CPU time of a bare
# window program with the same one-second timer that does nothing on its ticks, run beside it.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)

minutes=3
samples=6
tolerance_kb=256
baseline=30
while [ $# -gt 0 ]; do
    case "$1" in
        --minutes) minutes=$2; shift ;;
        --samples) samples=$2; shift ;;
        --tolerance-kb) tolerance_kb=$2; shift ;;
        --baseline) baseline=$2; shift ;;
        --help|-h) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "bench/agent/run.sh: unknown argument \"$1\" (see --help)" >&2; exit 2 ;;
    esac
    shift
done

source "$here/scripts/demo-common.sh"
demo_build stub timerfloor

# A private Wine session: the agent must be the only program in it.
unset DISPLAY
demo_wine_start
folder="$WINEPREFIX/drive_c/VelnorBench"
rm -rf "$folder"
mkdir -p "$folder"
agent=BenchAgent.exe
demo_make_agent "$folder/$agent" "http://127.0.0.1:9/updates" Product.info "Velnor-Bench-1"
# Idle: probing once a day, the last probe just now.
demo_write_settings "$folder/Product.original" 1 'C:\VelnorBench' 86400 "$(demo_agent_clock)"

tck=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }  # utime + stime
private_kb() { awk '/^Private_(Clean|Dirty):/ { s += $2 } END { print s }' "/proc/$1/smaps_rollup"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# The persistent wineserver that wine-env started for this session.
server_pid=${VEL_WINESERVER_PID:-}
server_ticks() { { [ -n "$server_pid" ] && cpu_ticks "$server_pid"; } 2>/dev/null || echo 0; }
per_hour() { python3 -c "print(f'{$1 / 1000 * 3600 / $2:.2f}')"; }  # ms over seconds -> s per hour

echo "== wineserver alone for $baseline s"
b0=$(server_ticks)
sleep "$baseline"
base_ms=$((($(server_ticks) - b0) * 1000 / tck))

echo "== starting $agent (it starts its copy X_$agent and ends)"
"$WINELOADER" "$folder/$agent" >/dev/null 2>&1 || true
pid=""
for _ in $(seq 100); do
    pid=$(demo_host_pid "X_$agent") && break
    sleep 0.1
done
[ -n "$pid" ] || { echo "FAIL: the agent copy X_$agent did not start"; exit 1; }
echo "   agent copy: host process $pid"
sleep 10  # past its start-up
[ -d "/proc/$pid" ] || { echo "FAIL: the agent copy ended at its start (a shot was due, or it cannot wait idle)"; exit 1; }

"$WINELOADER" "$win64/bench/agent/timerfloor.exe" >/dev/null 2>&1 &
floor=""
for _ in $(seq 100); do
    floor=$(demo_host_pid timerfloor.exe) && break
    sleep 0.1
done
[ -n "$floor" ] || { echo "FAIL: the timer floor program did not start"; exit 1; }
sleep 2

t0=$SECONDS
c0=$(cpu_ticks "$pid")
f0=$(cpu_ticks "$floor")
w0=$(server_ticks)
m0=$(private_kb "$pid")
printf '== idle for %s min\n   %6s  %10s  %12s  %10s\n' "$minutes" "s" "cpu ms" "private KiB" "rss KiB"
printf '   %6d  %10d  %12d  %10d\n' 0 0 "$m0" "$(rss_kb "$pid")"
span=$((minutes * 60))
step=$((span / samples))
m=$m0
for i in $(seq "$samples"); do
    target=$((i == samples ? span : i * step))
    while [ $((SECONDS - t0)) -lt "$target" ]; do sleep 1; done
    [ -d "/proc/$pid" ] || { echo "FAIL: the agent copy ended during the run"; exit 1; }
    c=$(cpu_ticks "$pid")
    m=$(private_kb "$pid")
    printf '   %6d  %10d  %12d  %10d\n' $((SECONDS - t0)) $(((c - c0) * 1000 / tck)) "$m" "$(rss_kb "$pid")"
done
elapsed=$((SECONDS - t0))
c1=$(cpu_ticks "$pid")
w1=$(server_ticks)
f1=$(cpu_ticks "$floor")
kill "$floor" 2>/dev/null || true

"$WINELOADER" "$folder/$agent" /STOP=0 >/dev/null 2>&1 || true

cpu_ms=$(((c1 - c0) * 1000 / tck))
server_ms=$(((w1 - w0) * 1000 / tck))
floor_ms=$(((f1 - f0) * 1000 / tck))
growth=$((m - m0))
echo "== results over $elapsed s"
echo "   agent CPU (user+kernel): $cpu_ms ms = $(per_hour "$cpu_ms" "$elapsed") s per hour"
echo "   floor, a window whose one-second timer does nothing: $floor_ms ms = $(per_hour "$floor_ms" "$elapsed") s per hour"
echo "   wineserver CPU meanwhile: $server_ms ms = $(per_hour "$server_ms" "$elapsed") s per hour" \
     "(without the agent: $(per_hour "$base_ms" "$baseline") s per hour)"
echo "   private memory: start $m0 KiB, end $m KiB, growth $growth KiB (tolerance $tolerance_kb KiB)"
if [ "$growth" -gt "$tolerance_kb" ]; then
    echo "FAIL: private memory grew by $growth KiB"
    exit 1
fi
echo "PASS"
