#!/usr/bin/env bash
# Ed25519 against OpenSSL: a key made by OpenSSL signs, our code verifies; a key made by
# "velpack keygen" signs with our code, OpenSSL verifies and derives the same public key. Also the
# key file's mode and keygen's refusal to replace files.
#   ed25519_check.sh VELPACK TOOL WORKDIR [LOADER]   (TOOL: the test program ed25519_tool)
set -euo pipefail
velpack=$1 tool=$2 work=$3 loader=${4:-}
source "$(dirname "$0")/check-common.sh"
tool() { if [ -n "$loader" ]; then "$loader" "$tool" "$@"; else "$tool" "$@"; fi; }
rawpub() { openssl pkey -in "$1" -pubout -outform DER | tail -c 32 | od -An -v -tx1 | tr -d ' \n'; echo; }

rm -rf "$work"
mkdir -p "$work"
cd "$work"
head -c 5000 /dev/urandom >file.bin
printf z >one.bin

# OpenSSL signs, we verify.
openssl genpkey -algorithm ed25519 -out ossl.key 2>/dev/null || fail "openssl genpkey"
rawpub ossl.key >ossl.pub
for f in file.bin one.bin; do
  openssl pkeyutl -sign -rawin -inkey ossl.key -in "$f" -out "$f.ossl.sig" || fail "openssl sign $f"
  tool verify ossl.pub "$f" "$f.ossl.sig" >/dev/null || fail "OpenSSL's signature of $f refused"
  # our own signature of the same file is the same bytes (Ed25519 is deterministic)
  tool sign ossl.key "$f" "$f.our.sig" || fail "sign with OpenSSL's key"
  cmp -s "$f.ossl.sig" "$f.our.sig" || fail "signatures of $f differ"
done
printf 'x' >>file.bin
if tool verify ossl.pub file.bin file.bin.ossl.sig >/dev/null; then fail "changed file accepted"; fi

# velpack keygen; we sign, OpenSSL verifies.
run keygen.log keygen --output pair || { cat keygen.log.err; fail "velpack keygen"; }
[ "$(stat -c %a pair.key)" = 600 ] || fail "pair.key mode $(stat -c %a pair.key)"
[ "$(rawpub pair.key)" = "$(cat pair.pub)" ] || fail "pair.pub is not OpenSSL's public key of pair.key"
tool sign pair.key file.bin file.sig || fail "sign with keygen's key"
openssl pkeyutl -verify -rawin -pubin -inkey <(openssl pkey -in pair.key -pubout) -in file.bin -sigfile file.sig \
  >verify.log 2>&1 || { cat verify.log; fail "OpenSSL refused our signature"; }
printf 'y' >>file.bin
if openssl pkeyutl -verify -rawin -pubin -inkey <(openssl pkey -in pair.key -pubout) -in file.bin -sigfile file.sig \
  >/dev/null 2>&1; then fail "OpenSSL accepted a changed file"; fi

# A signed update-info file made with OpenSSL alone, over the message as documented, passes our
# check; the keyid is the start of the SHA-256 of the raw public key. One changed body byte fails.
keyid=$(openssl pkey -in pair.key -pubout -outform DER | tail -c 32 | sha256sum | cut -c1-16)
expires=$(( $(date +%s) + 3600 ))
printf '[NewSetup]\r\nVersionNew=2\r\nBackgroundUpdate=0\r\n' >pair.info.body
{ printf 'velnor update-info 1\n%s\n%s\n' "$keyid" "$expires"; cat pair.info.body; } >pair.info.msg
openssl pkeyutl -sign -rawin -inkey pair.key -in pair.info.msg -out pair.info.sig || fail "openssl sign info"
{ printf '; signature ed25519 %s %s %s\r\n' "$keyid" "$expires" "$(od -An -v -tx1 pair.info.sig | tr -d ' \n')"
  cat pair.info.body; } >pair.signed.info
run info.log info --key pair.pub pair.signed.info || { cat info.log info.log.err; fail "OpenSSL-signed info file refused"; }
grep -q "signed by keyid $keyid, expires " info.log || { cat info.log; fail "keyid differs from OpenSSL's"; }
grep -q ": valid$" info.log || { cat info.log; fail "no verdict"; }
sed 's/BackgroundUpdate=0/BackgroundUpdate=1/' pair.signed.info >pair.tampered.info
if run tampered.log info --key pair.pub pair.tampered.info; then fail "tampered info file accepted"; fi
grep -q ": bad signature$" tampered.log || { cat tampered.log; fail "tampered file not called a bad signature"; }

# Nothing is replaced: neither an existing key nor an existing public key; no temporary left.
cp pair.key pair.key.before
if run again.log keygen --output pair; then fail "keygen replaced a key pair"; fi
cmp -s pair.key pair.key.before || fail "pair.key changed"
: >other.pub
if run other.log keygen --output other; then fail "keygen replaced other.pub"; fi
[ ! -e other.key ] || fail "other.key written beside an existing other.pub"
if run help.log keygen; then fail "keygen without --output succeeded"; fi
run help.log keygen --help || fail "keygen --help"
grep -q "velpack keygen --output NAME" help.log || fail "keygen --help text"
leftovers=$(ls -A | grep -v -e '^file' -e '^one' -e '^ossl' -e '^pair' -e '^other.pub$' -e '\.log' -e '\.err$' || true)
[ -z "$leftovers" ] || fail "files left behind: $leftovers"
echo "ed25519 cross-check: ok"
