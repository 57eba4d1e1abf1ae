#!/usr/bin/env bash
# Builds Tavro and runs its main job on the built-in sample clip: write the
# sample, compress it, decompress it, show both files, measure the loss and
# export one frame before and after coding as PNG pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build_dir="${TAVRO_BUILD_DIR:-build}"
cli="$build_dir/bin/tavro-cli"
out="$build_dir/demo"
mkdir -p "$out"

echo "== sample clip =="
"$cli" sample "$out/sample.qcf" --frames 100
echo "== compress (threshold 10, quantiser 16) =="
"$cli" compress "$out/sample.qcf" "$out/sample.cmp"
echo "== decompress =="
"$cli" decompress "$out/sample.cmp" "$out/decoded.qcf"
echo "== info =="
"$cli" info "$out/sample.qcf"
echo
"$cli" info "$out/sample.cmp"
echo "== loss of the decoded clip against the original =="
"$cli" compare "$out/decoded.qcf" "$out/sample.qcf" --csv "$out/compare.csv" | tail -n 1
echo "== frame 50 as PNG, original and decoded =="
"$cli" export "$out/sample.qcf" "$out/frame50-original.png" --frame 50 --scale 3
"$cli" export "$out/decoded.qcf" "$out/frame50-decoded.png" --frame 50 --scale 3
"$cli" export "$out/decoded.qcf" "$out/frame50-dithered.png" --frame 50 --scale 3 --dithered
echo
echo "Files are in $out/:"
ls -l "$out"
echo
# The desktop app on the sample clip, when a display is there to show it.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build_dir/bin/tavro" ]; then
  echo "Opening the desktop app on $out/sample.qcf ..."
  exec "$build_dir/bin/tavro" "$out/sample.qcf"
fi
echo "No display here. On a desktop, start the app with:  $build_dir/bin/tavro $out/sample.qcf"
echo "(scripts/screenshots.sh shows it under a virtual display and writes docs/screenshots/)"
