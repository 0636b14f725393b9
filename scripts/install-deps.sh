#!/usr/bin/env bash
# Installs the Debian packages Morvane needs to build, run and test.
# With --bench, also what the benchmarks alone use (a load generator).
# Quiet when everything is present; uses sudo only when not root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  clang libclang-rt-dev
  libsdl2-dev libsdl2-mixer-dev
  libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  libenet-dev libnatpmp-dev libminiupnpc-dev
  libfluidsynth-dev timgm6mb-soundfont librtmidi-dev
  libfltk1.3-dev fluid fonts-liberation fonts-dejavu-core
  libfreetype-dev
  libgtest-dev googletest
  xvfb xauth xdotool x11-utils imagemagick xfonts-base sox tesseract-ocr tesseract-ocr-eng
  iproute2 python3 bc gdb
  zlib1g-dev dpkg-dev fakeroot desktop-file-utils appstream lintian
  libmicrohttpd-dev nlohmann-json3-dev libsodium-dev curl
  nftables miniupnpd-nftables
  libcurl4-openssl-dev
)
if [ "${1:-}" = --bench ]; then
  packages+=(wrk)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
