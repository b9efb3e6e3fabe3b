#!/usr/bin/env bash
# Runs a program on the X display already set (DISPLAY) as a user would and prints
# what a user sees: "text: ...", "floor: ...", "sprite: 0|1", "exit: N" lines.
#   drive_program.sh PROGRAM TITLE SCREEN_TEXT OUT [LAUNCHER...]
# LAUNCHER (e.g. wine) starts PROGRAM; the caller's environment picks SDL's drivers.
set -u
program=$1; title=$2; screen_text=$3; out=$4
shift 4
find_window() {
  local i id
  for i in $(seq 1 $(( $2 * 10 ))); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\"" | awk '{print $1}' | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
cd "$(dirname "$program")"
TMPDIR=$out "$@" "./$(basename "$program")" >"$out/program.log" 2>&1 &
pid=$!
# Mesa's software renderer may bring up its warning first: answer it as a user.
# (Once it is shown: a box found before it is mapped cannot take the focus yet.)
if box=$(find_window '!!OpenGL Software Emulation!!' 5); then
  shown=0
  for _ in $(seq 1 50); do
    if xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; then
      shown=1; xdotool windowfocus "$box" key Return 2>/dev/null || true
    elif [ $shown = 1 ]; then break
    fi
    sleep 0.2
  done
fi
if win=$(find_window "$title <pause>" 3); then xdotool windowfocus "$win" 2>/dev/null || true; fi
if ! win=$(find_window "$title" 30); then echo "no window"; kill $pid; exit 1; fi
xdotool windowfocus "$win" 2>/dev/null || true
sleep 2
geometry=$(xwininfo -id "$win")
x=$(echo "$geometry" | awk '/Absolute upper-left X/ {print $4}')
y=$(echo "$geometry" | awk '/Absolute upper-left Y/ {print $4}')
import -window root -crop "640x480+$x+$y" +repage "$out/screen.png"
convert "$out/screen.png" "$out/screen.ppm"
echo "text: $("$screen_text" "$out/screen.ppm" 20 20 | head -1)"
echo "floor: $(convert "$out/screen.ppm" -format '%[pixel:p{600,460}]' info:)"
# The sprite runs along the floor line (y 328..359): somewhere on it is its yellow.
echo "sprite: $(convert "$out/screen.ppm" -crop 640x32+0+328 +repage -fill black +opaque 'rgb(255,208,0)' -format '%[fx:maxima.r>0.5?1:0]' info:)"
xdotool windowfocus "$win" key Escape
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then kill $pid; echo "exit: still running"; exit 1; fi
wait $pid; echo "exit: $?"
