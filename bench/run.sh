#!/bin/sh
# Throughput of the HTTP component against curl, both fetching one 256 MiB
# file from nginx on loopback into a file. Usage: bench/run.sh BUILD_DIR
set -eu
build=${1:?usage: bench/run.sh BUILD_DIR}
bench="$build/bench/qorv_transfer_bench"
nginx=/usr/sbin/nginx
[ -x "$bench" ] || { echo "bench: $bench is not built" >&2; exit 1; }
[ -x "$nginx" ] || { echo "bench: $nginx is missing (nginx-light)" >&2; exit 1; }
command -v curl >/dev/null || { echo "bench: curl is missing" >&2; exit 1; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/qorv-bench-XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT INT TERM

mkdir -p "$dir/www" "$dir/tmp" "$dir/out"
# Sparse: nginx serves zeros as fast as it reads them, so the disk under
# the source does not limit the figures.
truncate -s 256M "$dir/www/big.bin"
size=$((256 * 1024 * 1024))
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$dir/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  default_type application/octet-stream;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $dir/www;
  }
}
CONF
"$nginx" -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" &
pid=$!
i=0
until curl -s -o /dev/null "http://127.0.0.1:$port/big.bin" -r 0-0; do
  i=$((i + 1))
  [ $i -lt 100 ] || { echo "bench: nginx did not start" >&2; cat "$dir/error.log" >&2; exit 1; }
  sleep 0.05
done
url="http://127.0.0.1:$port/big.bin"

mibs() { python3 -c "print('%.1f' % ($size / 1048576 / $1))"; }

# Warm the page cache for the source, then measure.
curl -s -o /dev/null "$url"
curl_s=$(curl -s -o "$dir/out/curl.bin" -w '%{time_total}' "$url")
rm -f "$dir/out/curl.bin"
curl_rate=$(mibs "$curl_s")
echo "curl                      $curl_rate MiB/s"
for block in 4096 65536; do
  line=$("$bench" "$url" "$dir/out/component.bin" "$block")
  got=$(echo "$line" | awk '{print $2}')
  secs=$(echo "$line" | awk '{print $4}')
  rm -f "$dir/out/component.bin"
  [ "$got" = "$size" ] || { echo "bench: component fetched $got bytes, not $size" >&2; exit 1; }
  rate=$(mibs "$secs")
  ratio=$(python3 -c "print('%.2f' % ($rate / $curl_rate))")
  printf 'component, %-6s blocks  %s MiB/s  (%s of curl)\n' "$block" "$rate" "$ratio"
done
