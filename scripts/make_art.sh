#!/usr/bin/env bash
# Redraws the program's pictures (toolbar buttons, icons, About banner) into
# app/resources/icons/ from app/resources/make_art.cpp. The PNGs are
# committed; run this only after changing the drawing code.
set -euo pipefail
cd "$(dirname "$0")/.."
tool="$(mktemp -d)/make_art"
# shellcheck disable=SC2046  # pkg-config prints several words on purpose
g++ -std=c++20 -O1 -fPIC -Wall -Wextra app/resources/make_art.cpp -o "$tool" \
  $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tool" app/resources
rm -rf "$(dirname "$tool")"
ls -l app/resources/icons
