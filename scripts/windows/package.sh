#!/usr/bin/env bash
# Makes dist/corvane-<version>-windows-x64.zip: the installed Windows package
# (headers, libraries, the CMake package and corvane.pc, the tools), the player
# with its DLLs and module, the examples ready to run, and a short README.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
BUILD=${CORVANE_WIN_BUILD:-build-win}
bash scripts/windows/build.sh
version=$(sed -nE 's/^project\(Corvane VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
name=corvane-$version-windows-x64
stage=$ROOT/$BUILD/package/$name
rm -rf "$ROOT/$BUILD/package"; mkdir -p "$stage"
cmake --install "$BUILD" --prefix "$stage" >/dev/null
# The player: the executable, the stand-in sound library, its song and the DLLs.
mkdir -p "$stage/player"
cp "$BUILD"/bin/fmod_player.exe "$BUILD"/bin/fmod.dll "$BUILD"/bin/yoshi1.it "$stage/player/"
cp "$stage"/bin/*.dll "$stage/player/"
# Each example's folder as it was built: the executable, its DLLs and media.
for dir in "$BUILD"/examples/*/; do
  ex=$(basename "$dir")
  [ -f "$dir/$ex.exe" ] || continue
  mkdir -p "$stage/examples/$ex"
  cp -r "$dir/$ex.exe" "$dir"/*.dll "$stage/examples/$ex/"
  [ -d "$dir/media" ] && cp -r "$dir/media" "$stage/examples/$ex/"
done
cat > "$stage/README.txt" <<TEXT
Corvane $version for 64-bit Windows (built with mingw-w64)

player\\fmod_player.exe      the music player (click into its window to stop it)
examples\\NAME\\NAME.exe      the example programs, each with its DLLs and media
bin\\                        corvane-pack.exe, screen-text.exe and the libraries' DLLs
include\\, lib\\              the runtime for programs of one's own: the CMake package
                            (lib\\cmake\\Corvane, with the mingw-w64 toolchain file)
                            and pkg-config files (lib\\pkgconfig\\corvane.pc)

A game of one's own, built on Linux with mingw-w64 from this folder (DIR):
  cmake -S mygame -B mygame/build-win \\
        -DCMAKE_TOOLCHAIN_FILE=DIR/lib/cmake/Corvane/mingw-w64.cmake -DCORVANE_WIN_PREFIX=DIR
  cmake --build mygame/build-win
mygame/build-win then holds mygame.exe with its DLLs and media\\, ready to hand out.
TEXT
mkdir -p "$ROOT/dist"
rm -f "$ROOT/dist/$name.zip"
(cd "$ROOT/$BUILD/package" && python3 - "$name" "$ROOT/dist/$name.zip" <<'PY'
import os, sys, zipfile
top, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for folder, dirs, files in os.walk(top):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(folder, f)
            z.write(path, path)
PY
)
echo "dist/$name.zip: $(du -h "$ROOT/dist/$name.zip" | cut -f1)"
