#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the player need.
# Does nothing when they are all present already.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache clang libclang-rt-14-dev python3 bc
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libsdl2-mixer-dev
  libgl1-mesa-dev libegl1-mesa-dev libgl1-mesa-dri mesa-utils
  liblzo2-dev libopenmpt-dev openmpt123
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  xvfb xauth x11-utils xdotool imagemagick
  sox alsa-utils zenity
  libpng-dev libjpeg62-turbo-dev libfreetype-dev fonts-dejavu-core libassimp-dev
  ffmpeg x11-xserver-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
