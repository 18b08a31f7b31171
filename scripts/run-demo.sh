#!/usr/bin/env bash
# make run: serves the demo portal on loopback at the portal host the launcher
# was built with, starts the launcher against it, and stops the server when
# the launcher ends. Needs a display; exits non-zero without one.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/default}
exe="$build/app/Qorv"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-demo: no display (DISPLAY is not set): Qorv is a desktop program and needs one." >&2
  echo "run-demo: run 'make run' in a graphical session, or 'make test' for the headless checks." >&2
  exit 2
fi
if [ ! -x "$exe" ]; then
  echo "run-demo: $exe is not built; run 'make build' first." >&2
  exit 1
fi
host=$(sed -n 's/^QORV_PORTAL_HOST:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
host=${host:-127.0.0.1:8731}
addr=${host%:*}
port=${host##*:}
if [ "$addr" != 127.0.0.1 ] && [ "$addr" != localhost ]; then
  echo "run-demo: the launcher was built for the portal $host, which is not a loopback address;" >&2
  echo "run-demo: starting it without the demo server." >&2
  exec "$exe"
fi
# The server's first line is the bound port, for tests; a person gets a
# sentence instead.
python3 "$here/demo/serve.py" --port "$port" > /dev/null &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
# Wait (at most five seconds) until the server answers, so the portal page
# does not start with a refused connection.
for _ in $(seq 50); do
  if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null; then
    break
  fi
  kill -0 "$server" 2>/dev/null || { echo "run-demo: the demo server did not start (port $port busy?)" >&2; exit 1; }
  sleep 0.1
done
echo "run-demo: demo portal at http://$host/ ; starting $exe"
set +e
"$exe"
rc=$?
exit $rc
