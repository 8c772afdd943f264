#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively (AddressSanitizer and
# UndefinedBehaviorSanitizer); the shipping 32-bit stub with its image check; the Windows
# programs under 64-bit Wine on a private Xvfb display. Installs what is missing first.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/deps.sh"

jobs=$(nproc)
native="$here/build/native"
win32="$here/build/win32"
win64="$here/build/win64"

echo "== native build (sanitizers)"
cmake -S "$here" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON >/dev/null
cmake --build "$native" -j "$jobs"
echo "== shipping build (32-bit stub)"
cmake -S "$here" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$win32" -j "$jobs"
echo "== test build (64-bit Windows)"
cmake -S "$here" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j "$jobs"

echo "== native tests"
(cd "$native" && ctest --output-on-failure -j "$jobs")
(cd "$win32" && ctest --output-on-failure)

echo "== Windows tests under Wine"
source "$here/scripts/wine-env.sh"
wine_env_start "$win64"
trap wine_env_stop EXIT
# One at a time: GUI tests that press keys and click must not share the screen with each other.
(cd "$win64" && ctest --output-on-failure)
