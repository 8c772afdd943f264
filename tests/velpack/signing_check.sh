#!/usr/bin/env bash
# A setup file built by velpack with the real stub, then code-signed by osslsigncode with a
# self-signed certificate made here: the signature verifies, and the stub's reader (through
# "velpack info" and "velpack extract") still finds the package before the certificate table.
#   signing_check.sh VELPACK STUB WORKDIR [LOADER]   (LOADER runs VELPACK, e.g. wine64)
set -euo pipefail
velpack=$1 stub=$2 work=$3 loader=${4:-}
source "$(dirname "$0")/check-common.sh"

rm -rf "$work"
mkdir -p "$work/in/sub" "$work/out"
cd "$work"
printf 'MZ engine stand-in' >in/Engine.exe
head -c 300000 /dev/urandom >in/sub/data.bin
seq 1 20000 >in/sub/list.txt
printf '[English]\ns0=Signed setup\n' >lang.ini

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Velnor Test Signing" >/dev/null 2>&1 || fail "openssl could not make a certificate"
run build.log build --quiet --stub "$stub" --languages lang.ini --input in --output out/setup.exe \
  --launch Engine.exe --product-token SIGNED-1 || { cat build.log.err; fail "velpack build"; }
osslsigncode sign -certs cert.pem -key key.pem -n "Velnor signing test" -in out/setup.exe -out out/signed.exe \
  >sign.log 2>&1 || { cat sign.log; fail "osslsigncode sign"; }
osslsigncode verify -CAfile cert.pem -in out/signed.exe >verify.log 2>&1 || { cat verify.log; fail "osslsigncode verify"; }
grep -q "Signature verification: ok" verify.log || { cat verify.log; fail "no verified signature"; }

unsigned=$(stat -c %s out/setup.exe)
signed=$(stat -c %s out/signed.exe)
[ "$signed" -gt "$unsigned" ] || fail "the signed file is not longer than the unsigned one"
run info.txt info out/signed.exe || { cat info.txt info.txt.err; fail "velpack info on the signed file"; }
tr -d '\r' <info.txt >info.lf
grep -q "^End stamp: *$unsigned$" info.lf || { cat info.lf; fail "end stamp is not the package end"; }
grep -q "^  ProductToken: *SIGNED-1$" info.lf || { cat info.lf; fail "settings not read"; }
grep -q "^Checksum: *passes$" info.lf || { cat info.lf; fail "checksum"; }
run extract.log extract out/signed.exe x || { cat extract.log.err; fail "velpack extract on the signed file"; }
diff -r in x || fail "extracted files differ"
echo "signed setup verifies and reads back ($unsigned bytes of package, $((signed - unsigned)) bytes of signature)"
