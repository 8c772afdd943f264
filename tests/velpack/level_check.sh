#!/usr/bin/env bash
# Setup files built by velpack with the real stub at each execution level: Windows reads the level
# from the image's manifest, so the built file must still pass pefix's image check (all but the end
# stamp, which a setup file sets) with the level asked for, "velpack info" must show it, and the package must still read and extract.
#   level_check.sh VELPACK STUB PEFIX WORKDIR [LOADER]   (LOADER runs VELPACK, e.g. wine64)
set -euo pipefail
velpack=$1 stub=$2 pefix=$3 work=$4 loader=${5:-}
source "$(dirname "$0")/check-common.sh"

rm -rf "$work"
mkdir -p "$work/in" "$work/out"
cd "$work"
printf 'MZ engine stand-in' >in/Engine.exe
seq 1 20000 >in/list.txt
printf '[English]\ns0=Level setup\n' >lang.ini

check() {  # NAME VELPACK-LEVEL-ARGS... -- MANIFEST-LEVEL INFO-TEXT
  local name=$1 level=$2 text=$3
  shift 3
  run "$name.build.log" build --quiet --stub "$stub" --languages lang.ini --input in --output "out/$name.exe" \
    --launch Engine.exe "$@" || { cat "$name.build.log.err"; fail "velpack build $name"; }
  # A setup file carries its package's end stamp at 248..255: every other check must hold.
  "$pefix" --check "out/$name.exe" --max-kb 100000 --level "$level" >"$name.pefix" 2>&1 || true
  if grep FAIL "$name.pefix" | grep -v 'bytes 248..255 are not zero'; then fail "pefix --check $name"; fi
  grep -q "^  execution level $level$" "$name.pefix" || { cat "$name.pefix"; fail "pefix level of $name"; }
  run "$name.info" info "out/$name.exe" || { cat "$name.info" "$name.info.err"; fail "velpack info $name"; }
  tr -d '\r' <"$name.info" | grep -q "^Execution level: *$text$" || { cat "$name.info"; fail "info level of $name"; }
  run "$name.extract.log" extract "out/$name.exe" "x-$name" || { cat "$name.extract.log.err"; fail "extract $name"; }
  diff -r in "x-$name" || fail "extracted files of $name differ"
}
check default requireAdministrator 'admin (requireAdministrator)'
check user asInvoker 'user (asInvoker)' --execution-level user
check agent asInvoker 'user (asInvoker)' --update-agent --agent-name Agent.exe
if run bad.log build --quiet --stub "$stub" --languages lang.ini --input in --output out/bad.exe \
  --execution-level root; then fail "--execution-level root was accepted"; fi
[ ! -e out/bad.exe ] || fail "a refused build left out/bad.exe"
echo "setup files at each execution level pass the image check and read back"
