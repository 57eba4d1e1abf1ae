#!/usr/bin/env bash
# Captures the desktop app as a user sees it, under a virtual X display:
# the main window empty (state d), with the sample clip loaded (i), compressed
# (s) and decompressed again (x), the About box and each of the six menus.
# Writes PNGs into docs/screenshots/ (or the folder given as $1).
# Needs xvfb-run, xdotool and ImageMagick's import; builds what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"

if [ -z "${TAVRO_SCREENSHOT_DISPLAY:-}" ]; then
  [ -x build/bin/tavro ] && [ -x build/bin/tavro-cli ] || scripts/build.sh
  export TAVRO_SCREENSHOT_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

mkdir -p "$out"
out="$(cd "$out" && pwd)"
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
stop() {
  key "$main" ctrl+x
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
stop
