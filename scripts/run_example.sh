#!/usr/bin/env bash
# Builds and runs one example: scripts/run_example.sh NAME [ARGUMENTS...]
# With a display, its window opens and you play it (Escape ends it). Without one (a
# server, CI), it runs under Xvfb for a few seconds with the input of
# examples/NAME/demo.script when there is one, and a short report says what it showed;
# the last frame is left in build/example-run/NAME/screen.png.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: scripts/run_example.sh NAME [ARGUMENTS...]" >&2; ls examples >&2; exit 2; }
name=$1; shift
[ -f "examples/$name/CMakeLists.txt" ] || { echo "no example \"$name\"; there are: $(ls examples | grep -v common | tr '\n' ' ')" >&2; exit 2; }

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target "$name" screen-text

BIN=$(pwd)/build/bin
program=$(pwd)/build/examples/$name/$name

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && [ -z "${CORVANE_HEADLESS:-}" ]; then
  cd "$(dirname "$program")"
  exec "$program" "$@"
fi

OUT=$(pwd)/build/example-run/$name
rm -rf "$OUT"; mkdir -p "$OUT"
script=$(pwd)/examples/$name/demo.script
[ -f "$script" ] || { script=$OUT/empty.script; : > "$script"; }
frames=${FRAMES:-300}
echo "No display: running $name under Xvfb for $frames frames (screenshot $OUT/screen.png)."

cat > "$OUT/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
# Inside xvfb-run: start the example with the hook's options (Xvfb's GL is a software
# rasteriser: its warning box is turned off), wait for the end.
set -u
program=$1; out=$2; frames=$3; script=$4; shift 4
cd "$(dirname "$program")"
TMPDIR=$out SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy CORVANE_NO_SOFTWARE_GL_BOX=1 \
  "$program" "$@" --frames "$frames" --script "$script" --shot "$out/screen.ppm" >"$out/program.log" 2>&1 &
pid=$!
for i in $(seq 1 $(( frames / 6 + 300 ))); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then kill $pid; echo "exit status: killed (it did not end after $frames frames)"; exit 1; fi
wait $pid; status=$?
echo "exit status: $status"
exit $status
DRIVE
chmod +x "$OUT/drive.sh"
status=0
xvfb-run -a -s "-noreset -screen 0 1024x768x24" "$OUT/drive.sh" "$program" "$OUT" "$frames" "$script" "$@" || status=$?
if [ -s "$OUT/screen.ppm" ]; then
  convert "$OUT/screen.ppm" "$OUT/screen.png"
  echo "status line: $("$BIN/screen-text" "$OUT/screen.ppm" 8 8 | head -1)"
  echo "screenshot: $OUT/screen.png"
else
  echo "no screenshot was written"; status=1
fi
[ -s "$OUT/program.log" ] && { echo "program output:"; sed 's/^/  /' "$OUT/program.log"; }
exit $status
