#!/usr/bin/env bash
# Makes every picture the README shows, from the programs themselves:
#  - under a virtual X display (Xvfb), driving the real program with xdotool:
#    the main window empty (state d), with the sample clip loaded (i),
#    compressed (s) and decompressed again (x), the About box and the six menus;
#  - offscreen, through the galleries in tools/: the parameters, processing,
#    comparison and viewer dialogs (also at double scale), and the per-frame chart;
#  - under virtual X displays of chosen sizes, through tools/analysis_gallery:
#    the comparison view and the chart with the view's frame marked, at 1x on a
#    1600x1000 screen and at QT_SCALE_FACTOR=2 on a 3200x2000 one, and the
#    chart where the program places it at 2x on a 1600x1000 screen;
#  - with tavro-cli: the rate-distortion sweep (CSV, SVG and PNG) and the pyramid.
# The chart, the comparison view, the sweep and the pyramid are of foreman, a
# camera clip: they are made when the clip is found (TAVRO_DATA_DIR, else the
# build's cache), and skipped with a note otherwise.
# Writes into docs/ (or the folder given as $1), the window pictures into its
# screenshots/ folder. Needs xvfb-run, xdotool, ImageMagick and rsvg-convert
# (scripts/setup.sh installs them); builds what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
docs="${1:-docs}"

if [ -z "${TAVRO_SCREENSHOT_DISPLAY:-}" ]; then
  for program in tavro tavro-cli dialog_gallery chart_gallery analysis_gallery; do
    [ -x "build/bin/$program" ] || { scripts/build.sh; break; }
  done
  export TAVRO_SCREENSHOT_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

mkdir -p "$docs/screenshots"
docs="$(cd "$docs" && pwd)"
out="$docs/screenshots"
bin="$(pwd)/build/bin"
work="$(mktemp -d)"
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# Settings and desktop files of this run stay in the scratch folder.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

# A home of its own, so the recent-file list shows a short path (~/clips/...).
export HOME="$work/home"
mkdir -p "$HOME/clips"
"$bin/tavro-cli" sample -q -n 30 "$HOME/clips/sample.qcf"

# Waits for a window whose title matches $1 and prints its id.
window() {
  local id=""
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window named '$1'" >&2
  return 1
}
# Waits until no window matches $1.
gone() {
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  echo "window '$1' did not close" >&2
  return 1
}
# Captures window $1 as $out/$2.png.
shot() {
  sleep 0.4
  import -window "$1" "$out/$2.png"
  echo "wrote $out/$2.png"
}
# Captures the screen area of the main window and below, so open menus show too.
shot_area() {
  sleep 0.4
  eval "$(xdotool getwindowgeometry --shell "$main")"
  import -window root -crop "${WIDTH}x$((HEIGHT))+${X}+${Y}" +repage "$out/$1.png"
  echo "wrote $out/$1.png"
}
key() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --clearmodifiers "$2"
}
start() {
  "$bin/tavro" "$@" &
  app_pid=$!
  main="$(window ' - Tavro$')"
  xdotool windowmove --sync "$main" 0 0
  xdotool windowsize --sync "$main" 640 480
}
# Exit, with nothing unsaved.
stop() {
  key "$main" ctrl+x
  wait "$app_pid" || true
  app_pid=""
}
# Ends the program by its process id: Exit would ask about the unsaved result.
end_unsaved() {
  kill "$app_pid"
  wait "$app_pid" || true
  app_pid=""
}

# State d: no file.
start
shot "$main" main-empty
# The About box.
key "$main" F1
about="$(window '^About Tavro$')"
shot "$about" about
key "$about" Return
gone '^About Tavro$'
stop

# State i, with Caps Lock on to show a lit indicator.
start "$HOME/clips/sample.qcf"
xdotool key Caps_Lock
shot "$main" main-loaded
xdotool key Caps_Lock
# Each menu, opened from the keyboard and walked to the right.
key "$main" alt+f
shot_area menu-file
for name in process display statistics view help; do
  xdotool key Right
  shot_area "menu-$name"
done
xdotool key Escape Escape

# State s: Compress with the offered parameters, Start, wait for the run.
key "$main" ctrl+c
params="$(window '^Compression Parameters$')"
key "$params" Return
run="$(window '^Compression$')"
key "$run" Return
gone '^Compression$'
shot "$main" main-compressed

# State x: Decompress.
key "$main" ctrl+d
run="$(window '^Decompression$')"
key "$run" Return
gone '^Decompression$'
shot "$main" main-decompressed
end_unsaved

# The dialogs, rendered offscreen by the gallery at normal and double scale.
QT_QPA_PLATFORM=offscreen "$bin/dialog_gallery" "$out"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$bin/dialog_gallery" "$out" @2x
for name in parameters processing compare viewer viewer-zoom2; do
  echo "wrote $out/$name.png"
done

# The pictures of foreman.
data="${TAVRO_DATA_DIR:-$(sed -n 's/^TAVRO_DATA_DIR:PATH=//p' build/CMakeCache.txt 2>/dev/null)}"
clip="$data/foreman_100f.qcf"
if [ ! -f "$clip" ]; then
  echo "note: $clip not found; the chart, sweep and pyramid pictures are left as they are" >&2
  exit 0
fi
# Per-frame chart: compressed at the defaults, decompressed, charted against
# the original with frame 50 read out.
"$bin/tavro-cli" compress --quiet "$clip" "$work/foreman.cmp"
"$bin/tavro-cli" decompress --quiet "$work/foreman.cmp" "$work/foreman_dec.qcf"
QT_QPA_PLATFORM=offscreen "$bin/chart_gallery" "$work/foreman_dec.qcf" "$clip" \
  "$docs/chart-foreman.png" 50
echo "wrote $docs/chart-foreman.png"
# The comparison view of the same stream, frame 50, and the chart marking it;
# each run under a display of its own size.
gallery() {
  local screen="$1"
  shift
  xvfb-run -a -s "-screen 0 ${screen}x24" "$bin/analysis_gallery" "$work/foreman.cmp" "$clip" \
    "$out" "$@"
}
gallery 1600x1000
QT_SCALE_FACTOR=2 gallery 3200x2000 @2x
QT_SCALE_FACTOR=2 gallery 1600x1000 @2x --screen
# Rate-distortion sweep, without the time columns so that it depends only on the clip.
"$bin/tavro-cli" sweep --quiet --no-times -j 2 "$clip" -t 1,10,30 -q 2:8:2,12,16,24,32,48,64 \
  --csv "$docs/sweep-foreman.csv" --plot "$docs/sweep-foreman.svg"
rsvg-convert "$docs/sweep-foreman.svg" -o "$docs/sweep-foreman.png"
echo "wrote $docs/sweep-foreman.csv, .svg and .png"
# The wavelet pyramid of frame 1.
mkdir -p "$work/pyramid"
"$bin/tavro-cli" dump --quiet "$clip" -k 1 --stage pyramid --out "$work/pyramid"
cp "$work"/pyramid/*.png "$docs/pyramid-foreman-f1.png"
echo "wrote $docs/pyramid-foreman-f1.png"
