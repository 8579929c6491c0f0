#!/usr/bin/env bash
# Takes the README's pictures: runs batch mode on a small example tree, then
# starts the program on the same tree under a virtual X display, presses
# Compare, and saves PNG screenshots of the main window, the options dialog and
# the help window.
#   tools/screenshot.sh [BUILD_DIR [OUT_DIR]]     (defaults: build, docs)
#   WM=openbox tools/screenshot.sh ...            pictures with that window manager's frames
#   DARK=1 tools/screenshot.sh ...                the dark colour scheme of qt6ct, saved as
#                                                 screenshot-*-dark.png (apt-get install qt6ct)
# Needs Xvfb, xdotool and ImageMagick's import (apt-get install xvfb xdotool imagemagick).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs}
program=$build/zek32

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 2; }
done
[ -x "$program" ] || { echo "screenshot.sh: no program at $program; build first" >&2; exit 2; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The example tree: a.txt equal, b.txt with one differing byte at the same time
# and size, old/c.txt missing in the target. Both runs work in the tree's
# directory, so that the lines show short paths.
cd "$work"
mkdir -p data/old backup
printf 'alpha\n' >data/a.txt
printf 'bravo\n' >data/b.txt
printf 'charlie\n' >data/old/c.txt
cp -p data/a.txt backup/a.txt
printf 'brave\n' >backup/b.txt
touch -r data/b.txt backup/b.txt

# Settings of its own, so that the user's are neither read nor written; the
# window is made tall enough for all eight lines of the run.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
printf '[Appearence]\nWidth=560\nHeight=540\n' >"$XDG_CONFIG_HOME/zek32.ini"
suffix=""
if [ -n "${DARK:-}" ]; then
  scheme=/usr/share/qt6ct/colors/darker.conf
  [ -f "$scheme" ] || { echo "screenshot.sh: DARK=1 needs qt6ct (apt-get install qt6ct)" >&2; exit 2; }
  mkdir -p "$XDG_CONFIG_HOME/qt6ct"
  printf '[Appearance]\ncolor_scheme_path=%s\ncustom_palette=true\nstyle=Fusion\n' "$scheme" \
    >"$XDG_CONFIG_HOME/qt6ct/qt6ct.conf"
  export QT_QPA_PLATFORMTHEME=qt6ct
  suffix=-dark
fi

echo "== batch run"
"$program" --batch 'data/*.txt' backup/ || true

display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
frame=()
if [ -n "${WM:-}" ]; then
  command -v "$WM" >/dev/null || { echo "screenshot.sh: $WM is missing" >&2; exit 2; }
  "$WM" >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  frame=(-frame)
fi

"$program" 'data/*.txt' backup/ >"$work/program.log" 2>&1 &
pids+=($!)

# Prints the id of the visible window whose caption matches; fails after 20 s.
wait_window() {
  for _ in $(seq 200); do
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 | grep . && return 0
    sleep 0.1
  done
  echo "screenshot.sh: no window '$1' appeared; the program said:" >&2
  cat "$work/program.log" >&2
  return 1
}

# The main window's caption ends in a blank; the intro window's does not.
main=$(wait_window '^ZEK32 $')
sleep 0.5
# No window manager runs here; the program gives its window the focus itself,
# and the Source field has it: three tabs reach Compare.
xdotool key Tab Tab Tab space
sleep 1
import "${frame[@]}" -window "$main" "$out/screenshot-main$suffix.png"

xdotool key alt+o
options=$(wait_window '^Options$')
sleep 0.5
import "${frame[@]}" -window "$options" "$out/screenshot-options$suffix.png"
xdotool key Escape
sleep 0.5

# The Source field's Browse button stands at the window's top right.
xdotool windowfocus "$main"
width=$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
xdotool mousemove --window "$main" $((width - 40)) 46 click 1
browse=$(wait_window '^Browse$')
sleep 0.5
import "${frame[@]}" -window "$browse" "$out/screenshot-browse$suffix.png"
# Enter accepts the dialog; the field keeps its value, the dialog being preset from it.
xdotool key Return
sleep 0.5

# Without a window manager the focus does not come back by itself.
xdotool windowfocus "$main"
xdotool key alt+h
sleep 0.5
xdotool key h
help=$(wait_window '^How to use ZEK32$')
sleep 0.5
import "${frame[@]}" -window "$help" "$out/screenshot-help$suffix.png"


echo "== saved"
ls -1 "$out"/screenshot-*.png
