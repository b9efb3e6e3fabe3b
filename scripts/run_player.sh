#!/usr/bin/env bash
# Sets up, builds and runs the music player. With a display, the window opens and
# you click into it to stop the music. Without one (a server, CI), the player runs
# under Xvfb with its audio written to files, and a short report says what it
# showed and played.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target fmod_player screen-text

BIN=$(pwd)/build/bin

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && [ -z "${CORVANE_HEADLESS:-}" ]; then
  echo "Click into the window to stop the music."
  exec "$BIN/fmod_player"
fi

OUT=$(pwd)/build/player-run
rm -rf "$OUT"; mkdir -p "$OUT"
echo "No display: running the player under Xvfb (audio to $OUT, screenshot $OUT/screen.png)."

cat > "$OUT/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
# Runs inside xvfb-run: start the player, act as its user, and report.
set -u
BIN=$1; OUT=$2
cd "$BIN"
# Xvfb's GL is a software rasteriser: its warning box is turned off.
TMPDIR="$OUT" SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk CORVANE_NO_SOFTWARE_GL_BOX=1 \
  SDL_DISKAUDIOFILE="$OUT/program-audio.raw" FMOD_DISKAUDIOFILE="$OUT/music.raw" \
  ./fmod_player >"$OUT/player.log" 2>&1 &
PID=$!

find_window() {  # title -> window id, waiting up to $2 seconds
  local i
  for i in $(seq 1 $(( $2 * 10 ))); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\"" | awk '{print $1}' | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

win=$(find_window 'fmod_player' 15) || { echo "the player window did not appear"; kill $PID; exit 1; }

sleep 4   # let the music play
geometry=$(xwininfo -id "$win")
x=$(echo "$geometry" | awk '/Absolute upper-left X/ {print $4}')
y=$(echo "$geometry" | awk '/Absolute upper-left Y/ {print $4}')
import -window root -crop "640x480+$x+$y" +repage "$OUT/screen.png"
convert "$OUT/screen.png" "$OUT/screen.ppm"

xdotool mousemove --window "$win" 320 240 click 1
for i in $(seq 1 100); do kill -0 $PID 2>/dev/null || break; sleep 0.1; done
if kill -0 $PID 2>/dev/null; then kill $PID; wait $PID; echo "exit status: killed (no end after the click)"; exit 1; fi
wait $PID; status=$?

echo "screen line at (100, 100): $("$BIN/screen-text" "$OUT/screen.ppm" 100 100 | head -1)"
echo "screen line at (100, 120): $("$BIN/screen-text" "$OUT/screen.ppm" 100 120 | head -1)"
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
DRIVE
chmod +x "$OUT/drive.sh"
xvfb-run -a -s "-noreset -screen 0 1024x768x24" "$OUT/drive.sh" "$BIN" "$OUT"
