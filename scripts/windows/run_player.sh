#!/usr/bin/env bash
# Runs the Windows build of the music player under Wine on Xvfb and reports as the
# Linux run does: both status lines read from a screenshot, the seconds of music
# in the disk audio file, and the exit status after a click into the window.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
source scripts/windows/env.sh
BUILD=${CORVANE_WIN_BUILD:-build-win}
bash scripts/windows/build.sh fmod_player fmod_standin demo_module
# The screenshot reader is a Linux tool: the Linux build's.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target screen-text >/dev/null
TEXT=$ROOT/build/bin/screen-text

OUT=$ROOT/$BUILD/player-run
rm -rf "$OUT"; mkdir -p "$OUT"
for n in $(seq 90 140); do [ -e /tmp/.X$n-lock ] || { corvane_xvfb ":$n"; break; }; done
corvane_wine_prefix
echo "Running fmod_player.exe under Wine on Xvfb $DISPLAY (audio to $OUT, screenshot $OUT/screen.png)."

cd "$ROOT/$BUILD/bin"
# Paths from / name the same files inside Wine (its Z: drive, the current one here).
TMPDIR="$OUT" SDL_VIDEODRIVER=windows SDL_AUDIODRIVER=disk \
  SDL_DISKAUDIOFILE="$OUT/program-audio.raw" FMOD_DISKAUDIOFILE="$OUT/music.raw" \
  wine ./fmod_player.exe >"$OUT/player.log" 2>&1 &
PID=$!

find_window() {  # title -> window id, waiting up to $2 seconds
  local i id
  for i in $(seq 1 $(( $2 * 10 ))); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\"" | awk '{print $1}' | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Mesa's software renderer brings up the driver warning first; answer it as a user.
# (Once it is shown: a box found before Wine maps it cannot take the focus yet.)
if box=$(find_window '!!OpenGL Software Emulation!!' 20); then
  shown=0
  for _ in $(seq 1 100); do
    if xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; then
      shown=1; xdotool windowfocus "$box" key Return 2>/dev/null || true
    elif [ $shown = 1 ]; then break
    fi
    sleep 0.2
  done
  echo "answered: the OpenGL software-emulation warning"
fi
# The window is titled with the executable's file name: fmod_player.exe here.
if win=$(find_window 'fmod_player.exe <pause>' 3); then xdotool windowfocus "$win" 2>/dev/null || true; fi
win=$(find_window 'fmod_player.exe' 20) || { echo "the player window did not appear"; cat "$OUT/player.log"; kill $PID; exit 1; }
xdotool windowfocus "$win" 2>/dev/null || true

sleep 4   # let the music play
geometry=$(xwininfo -id "$win")
x=$(echo "$geometry" | awk '/Absolute upper-left X/ {print $4}')
y=$(echo "$geometry" | awk '/Absolute upper-left Y/ {print $4}')
import -display "$DISPLAY" -window root -crop "640x480+$x+$y" +repage "$OUT/screen.png"
convert "$OUT/screen.png" "$OUT/screen.ppm"

xdotool mousemove --window "$win" 320 240 click 1
for i in $(seq 1 150); do kill -0 $PID 2>/dev/null || break; sleep 0.1; done
if kill -0 $PID 2>/dev/null; then kill $PID; wait $PID || true; echo "exit status: killed (no end after the click)"; exit 1; fi
status=0; wait $PID || status=$?

echo "screen line at (100, 100): $("$TEXT" "$OUT/screen.ppm" 100 100 | head -1)"
echo "screen line at (100, 120): $("$TEXT" "$OUT/screen.ppm" 100 120 | head -1)"
# Music output: 44100 Hz, 16-bit, stereo; a 10 ms window counts as sound when its
# peak passes 1 % of full scale.
if [ -s "$OUT/music.raw" ]; then
  seconds=$(od -An -v -td2 -w4 "$OUT/music.raw" | awk '
    { a = $1 < 0 ? -$1 : $1; b = $2 < 0 ? -$2 : $2; m = a > b ? a : b; if (m > peak) peak = m; n++
      if (n == 441) { if (peak > 327) loud++; n = 0; peak = 0 } }
    END { printf "%.2f", loud * 0.01 }')
else
  seconds=0
fi
echo "music played: $seconds seconds of non-silent audio"
echo "exit status: $status"
exit $status
