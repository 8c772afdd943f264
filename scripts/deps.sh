#!/usr/bin/env bash
# Installs the packages the build, the tests and the demo need, when any is missing (Debian 12, root).
set -euo pipefail
pkgs=(g++ cmake ninja-build googletest zlib1g-dev
      g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev libz-mingw-w64-dev
      clang lld llvm
      wine wine64 xvfb xauth osslsigncode openssl nsis imagemagick xdotool gzip nginx python3 iproute2)
# "--fuzz": clang 14 and its fuzzer runtime as well, for scripts/fuzz.sh.
if [ "${1:-}" = "--fuzz" ]; then
  pkgs+=(clang-14 libclang-rt-14-dev)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
