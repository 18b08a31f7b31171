#!/usr/bin/env bash
# make run: serve the demo portal on loopback and start the launcher against it.
set -euo pipefail
build=${1:-build/default}
if [ ! -x "$build/app/Qorv" ]; then
  echo "Qorv: the portal window is not built yet in this version; the platform layer,"
  echo "support routines and their tests are (run 'make test')."
  exit 0
fi
exec "$build/app/Qorv"
