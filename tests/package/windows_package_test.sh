#!/usr/bin/env bash
# A game of one's own for Windows from nothing but the Windows package (the unpacked
# zip): corvane-new's starter built with the package's toolchain file through the
# CMake package, and again through corvane.pc; every DLL each program imports is
# beside it or one of Windows' own; then it runs under Wine on Xvfb as a user would.
# Usage: windows_package_test.sh PACKAGE_DIR SOURCE_DIR SCREEN_TEXT
#   SCREEN_TEXT: the Linux build's screen-text, which reads the screenshot's text.
set -uo pipefail
package=$(realpath "$1"); source=$(realpath "$2"); screen_text=$(realpath -m "$3")
work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-winpkg.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
cross=x86_64-w64-mingw32
wine_run=$package/lib/cmake/Corvane/wine-run.sh

for path in lib/cmake/Corvane/CorvaneConfig.cmake lib/cmake/Corvane/mingw-w64.cmake lib/pkgconfig/corvane.pc \
            lib/libcorvane.a lib/libcorvane_main.a bin/corvane-new bin/corvane-pack.exe bin/SDL2.dll \
            player/fmod_player.exe player/fmod.dll player/yoshi1.it README.txt; do
  [ -e "$package/$path" ] || fail "the package has no $path"
done
# The Linux GL and dynamic-loader libraries have no place in a Windows package.
pc=$package/lib/pkgconfig/corvane.pc
grep -Eq '(^Requires:.*\bgl\b)|-ldl|-lGL\b' "$pc" && fail "corvane.pc asks for Linux libraries: $(grep -E '^(Requires|Libs):' "$pc")"

project=$work/hello
bash "$package/bin/corvane-new" "$project" >/dev/null || { fail "corvane-new $project"; exit 1; }
if ! cmake -S "$project" -B "$project/build-win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_TOOLCHAIN_FILE="$package/lib/cmake/Corvane/mingw-w64.cmake" -DCORVANE_WIN_PREFIX="$package" \
     -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/configure.log" 2>&1 ||
   ! cmake --build "$project/build-win" >"$work/build.log" 2>&1; then
  cat "$work/configure.log" "$work/build.log" 2>/dev/null | tail -40; fail "the starter did not build for Windows"; exit 1
fi
[ -d "$project/build-win/media" ] || fail "media/ was not copied beside hello.exe"
leaks=$(grep -oh "$source[^;\" ]*" "$project/build-win/CMakeCache.txt" "$project/build-win/build.ninja" | grep -v "^$package" | sort -u)
[ -z "$leaks" ] || fail "the game's build names the source tree: $leaks"
ok "hello.exe built with find_package(Corvane)"

# The same program through pkg-config and the cross compiler alone.
mkdir -p "$work/pc"
cp -r "$project/media" "$work/pc/"
cp "$package"/bin/*.dll "$work/pc/"
# shellcheck disable=SC2046
if ! $cross-g++-posix -o "$work/pc/hello.exe" "$project/main.cpp" \
     $(PKG_CONFIG_LIBDIR="$package/lib/pkgconfig" PKG_CONFIG_PATH= pkg-config --cflags --libs corvane) >"$work/pc.log" 2>&1; then
  tail -20 "$work/pc.log"; fail "the starter did not build through corvane.pc"
else
  ok "hello.exe built through corvane.pc"
fi

# Every DLL a program imports, and theirs in turn, is beside it or Windows' own.
system32=${WINEPREFIX:-${CORVANE_WIN_CACHE:-/var/cache/corvane-windows}/wineprefix}/drive_c/windows/system32
imports() { $cross-objdump -p "$1" | awk '/DLL Name:/ {print $3}'; }
check_dlls() {  # FOLDER EXE
  local queue=("$1/$2") seen=" " file dll
  while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}; queue=("${queue[@]:1}")
    for dll in $(imports "$file"); do
      case $seen in *" ${dll,,} "*) continue ;; esac
      seen+="${dll,,} "
      local beside; beside=$(find "$1" -maxdepth 1 -iname "$dll" | head -1)
      if [ -n "$beside" ]; then queue+=("$beside")
      elif [ -z "$(find "$system32" -maxdepth 1 -iname "$dll" | head -1)" ]; then fail "$2 needs $dll, which is not beside it"
      fi
    done
  done
}
check_dlls "$project/build-win" hello.exe
# The libraries the runtime opens itself when needed (sound, video) are there too.
for dll in "$package"/bin/*.dll; do
  [ -f "$project/build-win/$(basename "$dll")" ] || fail "$(basename "$dll") is not beside hello.exe"
done
[ -f "$work/pc/hello.exe" ] && check_dlls "$work/pc" hello.exe
# The player and each example are folders to hand out as they are.
check_dlls "$package/player" fmod_player.exe
for dir in "$package"/examples/*/; do
  ex=$(basename "$dir")
  if [ -f "$dir/$ex.exe" ]; then check_dlls "${dir%/}" "$ex.exe"; else fail "examples/$ex has no $ex.exe"; fi
done
# The packed example's media travel appended to its executable.
pack_tool=$(dirname "$screen_text")/corvane-pack
if [ -x "$pack_tool" ] && [ -f "$package/examples/packed/packed.exe" ]; then
  "$pack_tool" list "$package/examples/packed/packed.exe" >/dev/null 2>&1 || fail "packed.exe lost its media pack"
fi
# The video libraries are opened when a video plays, never imported.
$cross-objdump -p "$project/build-win/hello.exe" | grep -Eiq 'DLL Name: (av|sw)' && fail "hello.exe imports the video libraries"
ok "every DLL is there"

# ---- run as a user would, briefly and bounded: a window, the text in it, Escape ends it
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null || [ ! -x "$screen_text" ]; then
  echo "no Xvfb, xdotool or screen-text: not run"; [ $failures -eq 0 ] || exit 1; exit 0
fi
run() {  # FOLDER: 0 when everything a user sees is right
  local out=$work/run-$(basename "$1") before=$failures report; mkdir -p "$out"
  # No software-GL warning box: under Wine it may come after the wait for it.
  report=$(SDL_VIDEODRIVER=windows SDL_AUDIODRIVER=dummy CORVANE_NO_SOFTWARE_GL_BOX=1 timeout 120 xvfb-run -a -s "-noreset -screen 0 1024x768x24" \
           bash "$source/tests/package/drive_program.sh" "$1/hello.exe" hello "$screen_text" "$out" "$wine_run" 2>&1)
  grep -q '^text: Hello from Corvane! Arrows push, Escape ends\.$' <<<"$report" || fail "$1: text not on screen: $report"
  grep -Eq '^floor: s?rgb\(32,128,32\)$' <<<"$report" || fail "$1: floor colour: $report"
  grep -q '^sprite: 1$' <<<"$report" || fail "$1: no sprite on the floor line: $report"
  grep -q '^exit: 0$' <<<"$report" || fail "$1: did not end with status 0 on Escape: $report $(cat "$out/program.log")"
  [ $failures -eq "$before" ]
}
run "$project/build-win" && ok "hello.exe ran under Wine"
[ -f "$work/pc/hello.exe" ] && run "$work/pc" && ok "hello.exe through corvane.pc ran under Wine"

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "windows package: all good"
