#!/usr/bin/env bash
# The layer check itself: clean on the tree, and it fails on wrong includes planted
# in a scratch copy.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0

bash "$here/check_layers.sh" "$root" >/dev/null || { echo "FAIL: the tree itself does not pass"; fail=1; }

# file to plant in | line to plant (an include when it names a header) | must pass?
cases=(
  "runtime/values/files.cpp|runtime/frame/frame.h|no"
  "runtime/engine/engine_state.cpp|runtime/values/rt_string.h|no"
  "runtime/platform/platform_sdl.cpp|runtime/engine/engine.h|no"
  "runtime/gfx2d/fonts.cpp|runtime/path/path.h|no"
  "runtime/path/planner.cpp|runtime/gfx2d/gfx2d.h|no"
  "runtime/values/media.cpp|runtime/nowhere/x.h|no"
  "runtime/frame/frame.cpp|program/player.h|no"
  "program/main.cpp|runtime/frame/frame.h|yes"
  "runtime/frame/frame.cpp|runtime/path/path.h|yes"
  "runtime/gfx2d/fonts.cpp|runtime/input_sound/input.h|yes"
  "runtime/values/files.cpp|runtime/engine/engine.h|yes"
  # A function declared below and defined only above, and the allowed cases.
  "runtime/engine/engine.h|void PresentFrameAgain();|yes"
  "runtime/engine/engine.h|void EndProgram();|no"
  "runtime/values/values.h|double SwapAndWait();|no"
  "runtime/gfx2d/gfx2d.h|[[noreturn]] void QuitProgram(); // comment|no"
  "runtime/engine/engine.h|void InitScene3D();|no"
  "runtime/frame/frame.h|void SetShadowPass(bool on);|yes"
  "runtime/frame/frame.h|int  UserMain();|yes"
  "runtime/gfx2d/gfx2d.h|void ProgramSettings(int n);|yes"
  "runtime/values/files.cpp|<windows.h>|no"
  "program/main.cpp|<winsock2.h>|no"
  "runtime/platform/platform_sdl.cpp|<windows.h>|yes"
)
for c in "${cases[@]}"; do
    IFS='|' read -r file include want <<<"$c"
    rm -rf "$scratch/tree"; mkdir -p "$scratch/tree"
    cp -r "$root/runtime" "$root/program" "$scratch/tree/"
    case $include in
        "<"*) printf '#include %s\n' "$include" >> "$scratch/tree/$file" ;;
        *.h) printf '#include "%s"\n' "$include" >> "$scratch/tree/$file" ;;
        *) printf 'namespace corvane {\n%s\n}\n' "$include" >> "$scratch/tree/$file" ;;
    esac
    if bash "$here/check_layers.sh" "$scratch/tree" >/dev/null 2>&1; then got=yes; else got=no; fi
    if [ "$got" != "$want" ]; then echo "FAIL: $file including $include: passed=$got, expected $want"; fail=1; fi
done
[ "$fail" -eq 0 ] && echo "layer check: all cases behave"
exit "$fail"
