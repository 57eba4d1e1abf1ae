#!/usr/bin/env bash
# Installs the Debian packages Tavro needs to build, test and run. Idempotent:
# packages already present are skipped, so a warm machine does no network work.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libpng-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  fonts-liberation
  xvfb xdotool imagemagick xauth librsvg2-bin
  clang-14 libclang-rt-14-dev clang-format-14
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
