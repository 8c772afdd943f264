#!/usr/bin/env bash
# The fuzzing campaign: builds the libFuzzer targets (tests/fuzz) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz, then runs each target in turn for the given time over a
# scratch copy of its corpus. Findings (crash, leak, timeout, out-of-memory inputs) are written to
# build/fuzz/findings/<target>/; the command fails when there is any.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: scripts/fuzz.sh [SECONDS] [TARGET[=SECONDS]...]

Builds the fuzz targets (clang 14, -fsanitize=fuzzer,address,undefined) in build/fuzz and runs
each for SECONDS (default 60), one at a time, over build/fuzz/corpus/<target> (seeded from
tests/fuzz/corpus and tests/fuzz/crashes; the repository is not written). TARGET names limit the
run to those targets (fileinfo, packagewalk, record, language, markup, sub, inform, transient,
updateinfo, infosignature, macros, httptext, velpack_project, velpack_language); TARGET=SECONDS gives one its own
time. Per target it prints the executions, the seconds and the findings, then the totals.

Each run: -max_total_time, -timeout=10 (a hang), -rss_limit_mb=2048, -detect_leaks=1, findings
via -artifact_prefix into build/fuzz/findings/<target>/. Exit code 1 on any finding or failed run.
Environment: VEL_FUZZ_BUILD (build tree, default build/fuzz), VEL_FUZZ_ARGS (more libFuzzer flags).
USAGE
}

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
declare -A own
picked=()
for a in "$@"; do
  case "$a" in
    -h|--help) usage; exit 0 ;;
    *=*) own[${a%%=*}]=${a#*=}; picked+=("${a%%=*}") ;;
    ''|*[!0-9]*) picked+=("$a") ;;
    *) seconds=$a ;;
  esac
done

# clang 14 and its fuzzer runtime come from Debian's packages.
if ! command -v clang++-14 >/dev/null || ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  bash "$here/scripts/deps.sh" --fuzz
fi

build=${VEL_FUZZ_BUILD:-$here/build/fuzz}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
echo "== building the fuzz targets in $build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEL_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 "${launcher[@]}" >/dev/null
cmake --build "$build" --target fuzz_all -j "$(nproc)" >"$build/fuzz-build.log" 2>&1 || {
  tail -30 "$build/fuzz-build.log"; echo "fuzz build failed (log: $build/fuzz-build.log)"; exit 1; }

targets=()
for src in "$here"/tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp); name=${name#fuzz_}
  if [ ${#picked[@]} -eq 0 ] || [[ " ${picked[*]} " == *" $name "* ]]; then targets+=("$name"); fi
done
for p in "${picked[@]}"; do
  [ -f "$here/tests/fuzz/fuzz_$p.cpp" ] || { echo "no fuzz target \"$p\""; exit 2; }
done

# The file readers' targets write an input file per execution: in memory when /dev/shm is there.
tmpbase=${TMPDIR:-}
if [ -z "$tmpbase" ]; then
  tmpbase=/tmp
  [ -d /dev/shm ] && [ -w /dev/shm ] && tmpbase=/dev/shm
fi
scratch=$(mktemp -d "$tmpbase/velfuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
total_execs=0; total_secs=0; total_findings=0; failed=0
printf '%-18s %12s %8s %9s\n' target executions seconds findings
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"; findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  for seeds in "$here/tests/fuzz/corpus/$t" "$here/tests/fuzz/crashes/$t"; do
    [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  done
  before=$(find "$findings" -type f | wc -l)
  log="$build/findings/$t.log"
  secs=${own[$t]:-$seconds}
  start=$(date +%s)
  rc=0
  # The targets write their scratch files under TMPDIR.
  TMPDIR="$scratch" "$build/tests/fuzz/fuzz_$t" "$corpus" -max_total_time="$secs" -timeout=10 \
    -rss_limit_mb=2048 -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$findings/" \
    ${VEL_FUZZ_ARGS:-} >"$log" 2>&1 || rc=$?
  took=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  execs=${execs:-0}
  found=$(( $(find "$findings" -type f | wc -l) - before ))
  note=""
  if [ "$rc" -ne 0 ] && [ "$found" -eq 0 ]; then note="  (exit code $rc, log: $log)"; failed=1; fi
  [ "$found" -gt 0 ] && note="  (in $findings, log: $log)"
  printf '%-18s %12s %8s %9s%s\n' "$t" "$execs" "$took" "$found" "$note"
  total_execs=$(( total_execs + execs )); total_secs=$(( total_secs + took )); total_findings=$(( total_findings + found ))
done
printf '%-18s %12s %8s %9s\n' total "$total_execs" "$total_secs" "$total_findings"
[ "$total_findings" -eq 0 ] && [ "$failed" -eq 0 ]
