#!/usr/bin/env bash
# velpack build throughput beside gzip -6 on the same mixed payload, in the same run.
#   bench/velpack.sh [MiB]        (default 256; VEL_BENCH_TREE overrides the build tree)
# Builds velpack natively in Release (tree build/bench-release), writes a payload of text, program
# files and already-compressed files into a temporary folder, warms the page cache, then times
# "velpack build" over the whole folder and "gzip -6" over each file (two alternating rounds, the
# better time of each counts), and prints MB/s for both, their ratio, and velpack's peak memory
# for the whole payload and for a quarter of it (peak memory must not grow with the payload).
# Run it on an otherwise idle machine: other load takes the cores the compression threads need.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
total_mb=${1:-256}
quarter_mb=$((total_mb / 4))
tree=${VEL_BENCH_TREE:-"$here/build/bench-release"}

for tool in cmake ninja gzip /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

echo "== building velpack (Release) in $tree"
cmake -S "$here" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEL_TESTS=OFF >/dev/null
cmake --build "$tree" --target velpack >/dev/null
velpack="$tree/tools/velpack/velpack"

work=$(mktemp -d "${TMPDIR:-/tmp}/velpack-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
payload="$work/payload"

# A stub image as the package format needs it: "MZ" at 0, "PE\0\0" at 256.
head -c 4096 /dev/zero >"$work/stub.exe"
printf 'MZ' | dd of="$work/stub.exe" conv=notrunc status=none
printf 'PE\0\0' | dd of="$work/stub.exe" bs=1 seek=256 conv=notrunc status=none

# Source text of this project, repeated (deflate's 32 KiB window never sees the repeats).
text_seed="$work/text.seed"
find "$here/src" "$here/tools" "$here/tests" -type f \( -name '*.cpp' -o -name '*.h' \) -exec cat {} + >"$text_seed"
make_text() {  # file bytes
  local left=$2
  : >"$1"
  while [ "$left" -gt 0 ]; do
    head -c "$left" "$text_seed" >>"$1"
    left=$(($2 - $(stat -c %s "$1")))
  done
}
# Program files: the system's own binaries and libraries, cut into pieces; random data when short.
program_list="$work/programs.list"
find /usr/bin /usr/lib -type f -size +200k -readable 2>/dev/null | head -400 >"$program_list" || true
program_stream() { while read -r f; do cat "$f" 2>/dev/null || true; done <"$program_list"; cat /dev/urandom; }

echo "== writing a ${total_mb} MiB payload (text, program files, already-compressed files) in $payload"
program_all="$work/programs.bin"
program_stream | head -c $((total_mb * 1048576 / 3 + 1048576)) >"$program_all" || true
sizes_kb=(300 1200 5000 9000 150 2600 700 12000)  # several files above 4 MiB: more than one record each
offset=0
for q in 1 2 3 4; do
  dir="$payload/q$q"
  mkdir -p "$dir/text" "$dir/bin" "$dir/packed"
  budget=$((quarter_mb * 1048576 / 3))
  i=0
  for kind in text bin packed; do
    left=$budget
    n=0
    while [ "$left" -gt 0 ]; do
      size=$((sizes_kb[(i + n) % ${#sizes_kb[@]}] * 1024))
      [ "$size" -gt "$left" ] && size=$left
      f="$dir/$kind/f$n"
      case $kind in
        text) make_text "$f.txt" "$size" ;;
        bin)
          dd if="$program_all" of="$f.bin" bs=1M iflag=skip_bytes,count_bytes skip="$offset" count="$size" status=none
          offset=$((offset + size)) ;;
        packed) head -c "$size" /dev/urandom | gzip -9 >"$f.gz" ;;
      esac
      left=$((left - size))
      n=$((n + 1))
    done
    i=$((i + 1))
  done
done
rm -f "$program_all"
bytes=$(du -sb "$payload" | cut -f1)
files=$(find "$payload" -type f | wc -l)
mib=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')
echo "payload: $mib MiB in $files files"

cat_all() { find "$payload" -type f -print0 | xargs -0 cat >/dev/null; }
cat_all  # page cache warm for both contenders

run_velpack() {  # input-folder output -> "seconds peak-kB"
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$velpack" build --quiet --stub "$work/stub.exe" --input "$1" \
    --output "$2" --level 6 >/dev/null 2>"$work/velpack.err" || { cat "$work/velpack.err" >&2; exit 1; }
  cat "$work/time.txt"
}
run_gzip() {
  local start end
  start=$(date +%s.%N)
  find "$payload" -type f -print0 | xargs -0 -n 1 sh -c 'gzip -6 -c "$0" >/dev/null'
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }'
}

# Two alternating rounds; the better time of each counts (other load on the machine hurts less).
mkdir -p "$work/out"
v_secs=999999 g_secs=999999 v_peak=0
for round in 1 2; do
  read -r secs peak < <(run_velpack "$payload" "$work/out/setup.exe")
  v_size=$(stat -c %s "$work/out/setup.exe")
  rm -f "$work/out/setup.exe"
  v_secs=$(awk -v a="$v_secs" -v b="$secs" 'BEGIN { print (b < a) ? b : a }')
  [ "$peak" -gt "$v_peak" ] && v_peak=$peak
  secs=$(run_gzip)
  g_secs=$(awk -v a="$g_secs" -v b="$secs" 'BEGIN { print (b < a) ? b : a }')
done
read -r q_secs q_peak < <(run_velpack "$payload/q1" "$work/out/quarter.exe")
g_size=$(find "$payload" -type f -print0 | xargs -0 -n 1 sh -c 'gzip -6 -c "$0" | wc -c' | awk '{ s += $1 } END { print s }')

cores=$(nproc)
awk -v b="$bytes" -v vs="$v_secs" -v gs="$g_secs" -v vp="$v_peak" -v qp="$q_peak" -v vz="$v_size" -v gz="$g_size" \
    -v cores="$cores" -v qmb="$quarter_mb" 'BEGIN {
  mb = b / 1048576
  printf "velpack build : %7.2f s  %7.1f MB/s  output %.1f MiB  peak RSS %.1f MiB (%.1f MiB for a %d MiB quarter)\n",
         vs, mb / vs, vz / 1048576, vp / 1024, qp / 1024, qmb
  printf "gzip -6       : %7.2f s  %7.1f MB/s  output %.1f MiB (each file)\n", gs, mb / gs, gz / 1048576
  printf "ratio         : %.2fx gzip -6 throughput on %d cores\n", (mb / vs) / (mb / gs), cores
}'
