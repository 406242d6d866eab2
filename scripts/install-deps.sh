#!/usr/bin/env bash
# Installs what building, testing and running Zerarive needs on Debian 12.
# Idempotent: only missing packages are installed, after one apt-get update.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-multimedia-dev libgl-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libavfilter-dev libwebp-dev webp
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
  libfluidsynth-dev timgm6mb-soundfont
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  xvfb xauth imagemagick
  lintian mpeg2dec
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
