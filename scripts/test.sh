#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively (AddressSanitizer and
# UndefinedBehaviorSanitizer); the shipping 32-bit stub with its image check; the Windows
# programs under 64-bit Wine on a private Xvfb display; then the shipped 32-bit stub and the
# 32-bit test programs as 32-bit processes on 64-bit Wine, under the i386 emulator.
# Installs what is missing first.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/deps.sh"
bash "$here/scripts/deps32.sh"
wine32=${VEL_WINE32_ROOT:-/opt/velnor-wine32}

jobs=$(nproc)
native="$here/build/native"
win32="$here/build/win32"
win64="$here/build/win64"

echo "== native build (sanitizers)"
cmake -S "$here" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON >/dev/null
cmake --build "$native" -j "$jobs"
echo "== shipping build (32-bit stub and 32-bit test programs)"
cmake -S "$here" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
  -DVEL_WIN64_TREE="$win64" >/dev/null
cmake --build "$win32" -j "$jobs"
stub_size=$(stat -c %s "$win32/src/stub/stub.exe")
echo "== shipped stub: $stub_size bytes (goal 204800; the stub_image test fails above its limit)"
echo "== test build (64-bit Windows)"
cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j "$jobs"

echo "== native tests"
(cd "$native" && ctest --output-on-failure -j "$jobs")
(cd "$win32" && ctest --output-on-failure -LE wow64)

source "$here/scripts/wine-env.sh"
trap wine_env_stop EXIT
# One at a time: GUI tests that press keys and click must not share the screen with each other.
# Both Wine parts run even when the first fails; the command fails when either did.
echo "== Windows tests under 64-bit Wine"
wine_env_start "$win64"
rc64=0
(cd "$win64" && ctest --output-on-failure) || rc64=$?
wine_env_stop

echo "== shipped 32-bit stub under 64-bit Wine (32-bit programs emulated)"
start=$SECONDS
wine_env_start "$win32" "$wine32"
rc32=0
(cd "$win32" && ctest --output-on-failure -L wow64) || rc32=$?
wine_env_stop
trap - EXIT

result() { [ "$1" -eq 0 ] && echo passed || echo FAILED; }
echo "== summary: Windows tests (64-bit build) $(result $rc64); shipped 32-bit stub ($stub_size bytes) and" \
     "32-bit tests $(result $rc32) in $((SECONDS - start)) s"
[ "$rc64" -eq 0 ] && [ "$rc32" -eq 0 ]
