#!/usr/bin/env bash
# A program of one's own, from nothing but an installed runtime: install the build to
# a temporary prefix, make a project with corvane-new, configure and build it against
# that prefix alone (CMake package, then pkg-config), run it and look at its window.
# Usage: install_and_build_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(realpath "$1"); source=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# ---- install
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1
fi

# What is installed, and what stays inside: "+" must exist, "-" must not.
while read -r want path; do
  if [ "$want" = + ] && [ ! -e "$prefix/$path" ]; then fail "missing $path"
  elif [ "$want" = - ] && [ -e "$prefix/$path" ]; then fail "installed internal $path"
  fi
done <<'LIST'
+ include/corvane/corvane.h
+ include/corvane/runtime/gfx2d/gfx2d.h
+ include/corvane/runtime/frame/frame.h
+ include/corvane/runtime/values/rt_string.h
+ include/corvane/runtime/path/path.h
+ lib/libcorvane.a
+ lib/libcorvane_main.a
+ lib/cmake/Corvane/CorvaneConfig.cmake
+ lib/cmake/Corvane/CorvaneConfigVersion.cmake
+ lib/cmake/Corvane/CorvaneProgram.cmake
+ lib/pkgconfig/corvane.pc
+ bin/corvane-new
+ bin/corvane-pack
+ bin/screen-text
- include/corvane/runtime/platform/platform.h
- include/corvane/runtime/platform/platform_input.h
- include/corvane/runtime/input_sound/input_internal.h
- include/corvane/runtime/gfx2d/bmp.h
- include/corvane/runtime/path/planner.h
- include/corvane/runtime/frame/dll_binding.h
- include/corvane/runtime/frame/frame_internal.h
- include/corvane/runtime/engine/engine_internal.h
- include/corvane/runtime/engine/engine_state.h
- include/corvane/runtime/gfx2d/gfx2d_internal.h
- include/corvane/runtime/gfx3d/gfx3d_internal.h
- include/corvane/runtime/gfx3d/scene3d.h
- include/corvane/runtime/input_sound/sound_internal.h
- include/corvane/runtime/platform/platform_audio.h
- include/corvane/runtime/net/net_internal.h
- include/corvane/runtime/values/media.h
LIST
# No internal header at all, whatever its folder.
internal=$(find "$prefix/include" -name '*_internal.h')
[ -z "$internal" ] || fail "internal headers installed: $internal"
# Only headers: nothing else under include/.
others=$(find "$prefix/include" -type f ! -name '*.h')
[ -z "$others" ] || fail "non-headers under include/: $others"
# No text of the package names the source or build tree.
leaks=$(grep -rIl -e "$source" -e "$build" "$prefix" 2>/dev/null)
[ -z "$leaks" ] || fail "installed files name the source or build tree: $leaks"
ok "installed to $prefix"

# ---- the examples are programs of one's own too: their sources compile against the
# installed headers alone (the in-tree build also sees the runtime's internal ones).
cxx=${CXX:-c++}
sdl_flags=$(pkg-config --cflags sdl2 2>/dev/null)
for src in "$source"/examples/*/*.cpp; do
  grep -q '<corvane/corvane.h>' "$src" || continue
  # shellcheck disable=SC2086
  "$cxx" -std=c++20 -fsyntax-only -I"$prefix/include" -I"$prefix/include/corvane" -I"$(dirname "$src")" $sdl_flags "$src" \
    >"$work/example.log" 2>&1 || { cat "$work/example.log"; fail "${src#"$source"/} does not compile against the installed headers"; }
done
ok "the examples compile against the installed headers"

# ---- corvane-new: refusals first (each must fail and write nothing)
new=$prefix/bin/corvane-new
while IFS='|' read -r what args; do
  target=$work/refused
  rm -rf "$target"; mkdir -p "$target"
  case $what in exists) echo keep > "$target/main.cpp" ;; esac
  # shellcheck disable=SC2086
  if (cd "$target" && "$new" $args >/dev/null 2>&1); then fail "corvane-new accepted: $what"; fi
  [ "$what" != exists ] || [ "$(cat "$target/main.cpp")" = keep ] || fail "corvane-new overwrote main.cpp"
done <<'LIST'
no arguments|
two arguments|a b
bad name|9lives
bad name with a space|"my game"
exists|.
LIST
ok "corvane-new refuses what it should"

project=$work/hello
"$new" "$project" >/dev/null || { fail "corvane-new $project"; exit 1; }
for f in CMakeLists.txt main.cpp media; do [ -e "$project/$f" ] || fail "corvane-new wrote no $f"; done
[ -z "$(ls -A "$project/media")" ] || fail "media/ is not empty"

# ---- configure and build with the installed package alone
start=$(date +%s.%N)
if ! cmake -S "$project" -B "$project/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/configure.log" 2>&1 ||
   ! cmake --build "$project/build" -j2 >"$work/build.log" 2>&1; then
  cat "$work/configure.log" "$work/build.log" 2>/dev/null | tail -40; fail "the project did not build"; exit 1
fi
built=$(date +%s.%N)
leaks=$(grep -l -e "$source" -e "$build" "$project/build/compile_commands.json" "$project/build/CMakeCache.txt")
[ -z "$leaks" ] || fail "the project's build names the source or build tree: $leaks"
[ -d "$project/build/media" ] || fail "media/ was not copied beside the program"
ok "built with find_package(Corvane) in $(echo "$built - $start" | bc) s"

# ---- the same program through pkg-config
if ! c++ -o "$work/hello_pc" "$project/main.cpp" \
     $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs corvane) >"$work/pc.log" 2>&1; then
  tail -20 "$work/pc.log"; fail "the program did not build through pkg-config"
else
  ok "built through pkg-config"
fi

# ---- the video libraries are opened when a video plays, never linked
for program in "$project/build/hello" "$work/hello_pc"; do
  [ -x "$program" ] || continue
  linked=$(readelf -d "$program" | grep NEEDED | grep -E 'lib(avformat|avcodec|avutil|swscale|swresample)')
  [ -z "$linked" ] || fail "$(basename "$program") links the video libraries: $linked"
done
grep -Eq 'libav|libsw' "$prefix/lib/pkgconfig/corvane.pc" "$prefix/lib/cmake/Corvane/CorvaneConfig.cmake" &&
  fail "the installed package asks for the video libraries"

# ---- run them as a user would: a window, the text in it, Escape ends it
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "no Xvfb: not run"; [ $failures -eq 0 ] || exit 1; exit 0
fi
run() {  # PROGRAM TITLE: 0 when everything a user sees is right
  local out=$work/run-$(basename "$1") before=$failures; mkdir -p "$out"
  report=$(SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy xvfb-run -a -s "-noreset -screen 0 1024x768x24" \
           bash "$source/tests/package/drive_program.sh" "$1" "$2" "$prefix/bin/screen-text" "$out" 2>&1)
  grep -q '^text: Hello from Corvane! Arrows push, Escape ends\.$' <<<"$report" || fail "$2: text not on screen: $report"
  # The green floor (0x208020 is red 0x20, green 0x80, blue 0x20).
  grep -Eq '^floor: s?rgb\(32,128,32\)$' <<<"$report" || fail "$2: floor colour: $report"
  grep -q '^sprite: 1$' <<<"$report" || fail "$2: no sprite on the floor line: $report"
  grep -q '^exit: 0$' <<<"$report" || fail "$2: did not end with status 0 on Escape: $report $(cat "$out/program.log")"
  [ $failures -eq "$before" ]
}
run "$project/build/hello" hello && ok "hello ran"
# Titled by the starter's ProgramSettings with the project's name, whatever the executable is called.
[ -x "$work/hello_pc" ] && run "$work/hello_pc" hello && ok "hello through pkg-config ran"

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "install and build: all good"
