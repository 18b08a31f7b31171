#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop needs:
# the launcher, a desktop entry the validator accepts, and hicolor icons
# whose pictures have the size their folder names.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
fail() { echo "FAIL: $*"; exit 1; }
[ -x "$prefix/bin/Qorv" ] || fail "bin/Qorv is missing or not executable"
entry="$prefix/share/applications/qorv.desktop"
[ -f "$entry" ] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "desktop-file-validate refuses $entry"
grep -q '^Exec=Qorv\b' "$entry" || fail "the entry does not start Qorv"
grep -q '^Icon=qorv$' "$entry" || fail "the entry does not name the qorv icon"
for n in 16 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${n}x${n}/apps/qorv.png"
  [ -f "$png" ] || fail "no ${n}x${n} icon"
  size=$(python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(24); print('%dx%d' % struct.unpack('>II', d[16:24]))" "$png")
  [ "$size" = "${n}x${n}" ] || fail "${n}x${n}/apps/qorv.png is $size"
done
echo "ok: launcher, desktop entry and 7 icon sizes installed"
