#!/usr/bin/env bash
# Starts the loopback test servers in a fresh folder, runs a command with their ports in its
# environment, and stops every server by its process id however the command ends (a watchdog
# stops them too when this script itself is killed).
#   with-servers.sh WORKDIR COMMAND...
# The command gets:
#   VEL_SRV_DIR          the folder; served files in www/, the test CA as ca.der, proxy.log
#   VEL_HTTP_PORT        nginx over HTTP
#   VEL_HTTPS_PORT       nginx over HTTPS, certificate for "localhost" signed by the test CA
#   VEL_HTTPS_SELF_PORT  nginx over HTTPS, self-signed certificate that no store trusts
#   VEL_FAULT_PORT       fault_server.py (chunked, empty, dropped, slow, Last-Modified, error page)
#   VEL_PROXY_PORT       record_proxy.py, which serves every request from the HTTP port
#   VEL_RELAY_PORT       cut_relay.py in front of nginx over HTTP: breaks replies at given points of
#                        /cut/PLAN/PATH and counts what it relays into relay-stats.txt
# Served files hold the pattern byte i = (i * 31 + 7) mod 256: small.bin (5 bytes),
# data100k.bin (100000), big.bin (3 MiB + 5); dated.bin (1000) is dated 2024-03-05 14:30:20 UTC.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(realpath -m "$1")
shift
rm -rf "$work"
mkdir -p "$work/www" "$work/tmp"
cd "$work"

pids=()
watchdog=
stop() {
  [ -n "$watchdog" ] && kill "$watchdog" 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap stop EXIT
trap 'exit 143' INT TERM HUP

python3 - <<'PY'
def pattern(n):
    return bytes((i * 31 + 7) & 0xFF for i in range(n))
for name, size in (("small.bin", 5), ("data100k.bin", 100000), ("big.bin", 3 * 1024 * 1024 + 5),
                   ("dated.bin", 1000)):
    with open("www/" + name, "wb") as f:
        f.write(pattern(size))
PY
touch -d "2024-03-05 14:30:20 UTC" www/dated.bin

# A test CA, a server certificate for localhost from it, and a self-signed one.
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Velnor Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
quiet openssl x509 -in ca.pem -outform DER -out ca.der
quiet openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost"
printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >server.ext
quiet openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 \
  -extfile server.ext
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout self.key -out self.pem -days 2 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
http=$(free_port)
https=$(free_port)
self=$(free_port)
while [ "$https" = "$http" ]; do https=$(free_port); done
while [ "$self" = "$http" ] || [ "$self" = "$https" ]; do self=$(free_port); done

cat >nginx.conf <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx-access.log;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  server { listen 127.0.0.1:$http; root $work/www; }
  server {
    listen 127.0.0.1:$https ssl;
    ssl_certificate $work/server.pem;
    ssl_certificate_key $work/server.key;
    root $work/www;
  }
  server {
    listen 127.0.0.1:$self ssl;
    ssl_certificate $work/self.pem;
    ssl_certificate_key $work/self.key;
    root $work/www;
  }
}
CONF
nginx -p "$work" -e "$work/nginx-error.log" -c "$work/nginx.conf" </dev/null >nginx.out 2>&1 &
pids+=($!)
python3 "$here/fault_server.py" fault.port </dev/null >fault.out 2>&1 &
pids+=($!)
python3 "$here/record_proxy.py" proxy.port "$work/proxy.log" "$http" </dev/null >proxy.out 2>&1 &
pids+=($!)
python3 "$here/cut_relay.py" relay.port "$work/relay-stats.txt" "$http" </dev/null >relay.out 2>&1 &
pids+=($!)
(
  while kill -0 $$ 2>/dev/null; do sleep 1; done
  kill "${pids[@]}" 2>/dev/null
) </dev/null >/dev/null 2>&1 &
watchdog=$!

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for _ in $(seq 100); do
  if [ -s fault.port ] && [ -s proxy.port ] && [ -s relay.port ] && listening "$http" && listening "$https" && listening "$self"; then
    break
  fi
  sleep 0.1
done
for f in fault.port proxy.port relay.port; do [ -s "$f" ] || { echo "test server did not start ($f)" >&2; cat ./*.out >&2; exit 1; }; done
listening "$http" || { echo "nginx did not start" >&2; cat nginx.out nginx-error.log >&2; exit 1; }

export VEL_SRV_DIR="$work" VEL_HTTP_PORT="$http" VEL_HTTPS_PORT="$https" VEL_HTTPS_SELF_PORT="$self"
export VEL_FAULT_PORT=$(cat fault.port) VEL_PROXY_PORT=$(cat proxy.port) VEL_RELAY_PORT=$(cat relay.port)
set +e
"$@"
rc=$?
set -e
exit $rc
