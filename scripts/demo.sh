#!/usr/bin/env bash
# Builds Tavro and runs its main job on the built-in sample clip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
echo "Tavro is built; binaries are in build/bin/."

# The desktop app on the sample clip: opened when a display is available.
sample_clip="${TAVRO_BUILD_DIR:-build}/sample.qcf"
[ -f "$sample_clip" ] || "${TAVRO_BUILD_DIR:-build}/bin/tavro-cli" sample -q "$sample_clip"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "${TAVRO_BUILD_DIR:-build}/bin/tavro" ]; then
  echo "Opening the desktop app on $sample_clip ..."
  exec "${TAVRO_BUILD_DIR:-build}/bin/tavro" "$sample_clip"
else
  echo "No display here. On a desktop, start the app with:  build/bin/tavro $sample_clip"
  echo "(scripts/screenshots.sh shows it under a virtual display and writes docs/screenshots/)"
fi
