#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Qorv need.
# Idempotent: packages already present are not fetched again.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config python3
  libgtest-dev googletest
  libglib2.0-dev libgtk-3-dev libwebkit2gtk-4.1-dev libcurl4-openssl-dev
  libjpeg-dev libattr1-dev attr libssl-dev
  xvfb xauth openbox x11-utils xdotool imagemagick
  nginx-light tinyproxy openssl curl desktop-file-utils tzdata xdg-utils locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
