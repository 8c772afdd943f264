#!/usr/bin/env bash
# Rewrites the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/) with fuzz_seedgen,
# built in the native tree. Seeds of hand-written inputs are rewritten too; other files stay.
set -euo pipefail
if [ "${1:-}" = "--help" ]; then
  echo "usage: tests/fuzz/make-seeds.sh [BUILD_DIR]   (default build/native)"
  exit 0
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/native}
cmake --build "$build" --target fuzz_seedgen -j2 >/dev/null
"$build/tests/fuzz/fuzz_seedgen" "$root/tests/fuzz/corpus"
