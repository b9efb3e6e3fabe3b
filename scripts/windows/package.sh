#!/usr/bin/env bash
# Makes dist/corvane-<version>-windows-x64.zip: the installed Windows package
# (headers, libraries, the CMake package and corvane.pc, the tools), the player
# with its DLLs and module, the examples ready to run, and a short README. Then
# tries the zip as a user would (tests/package/windows_package_test.sh): a starter
# game built from it alone, run under Wine; --no-test leaves that out.
#   bash scripts/windows/package.sh [--no-test]
set -euo pipefail
try=1
case "${1:-}" in
  --no-test) try=0 ;;
  "") ;;
  *) echo "usage: $0 [--no-test]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
BUILD=${CORVANE_WIN_BUILD:-build-win}
bash scripts/windows/build.sh
version=$(sed -nE 's/^project\(Corvane VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
name=corvane-$version-windows-x64
# (Not build-win/package/: the configure step writes the CMake package there.)
stage=$ROOT/$BUILD/zip/$name
rm -rf "$ROOT/$BUILD/zip"; mkdir -p "$stage"
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
# Symbols are of no use to a player and make up much of each file. A program that
# carries its media pack appended is left whole: stripping would cut the pack off.
# (The Linux build's corvane-pack tells which do.)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target corvane-pack screen-text >/dev/null
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -print0 | while IFS= read -r -d '' file; do
  build/bin/corvane-pack list "$file" >/dev/null 2>&1 || x86_64-w64-mingw32-strip --strip-unneeded "$file"
done
cat > "$stage/README.txt" <<TEXT
Corvane $version for 64-bit Windows (built with mingw-w64)

player\\fmod_player.exe      the music player (click into its window to stop it)
examples\\NAME\\NAME.exe      the example programs, each with its DLLs and media
bin\\                        corvane-pack.exe, screen-text.exe and the libraries' DLLs;
                            corvane-new (a starter game: run it on Linux)
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
(cd "$ROOT/$BUILD/zip" && python3 - "$name" "$ROOT/dist/$name.zip" <<'PY'
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
for ex in "$stage"/examples/*/; do echo "  examples/$(basename "$ex"): $(du -sh "$ex" | cut -f1)"; done
[ "$try" -eq 1 ] || exit 0

# The zip as a player or a game's author gets it: unpacked somewhere else.
source scripts/windows/env.sh
corvane_wine_prefix
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/corvane-zip.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$ROOT/dist/$name.zip" "$unpacked"
# zipfile keeps no permissions: the Linux-side scripts are made runnable again.
chmod +x "$unpacked/$name"/lib/cmake/Corvane/wine-run.sh "$unpacked/$name"/bin/corvane-new
bash tests/package/windows_package_test.sh "$unpacked/$name" "$ROOT" "$ROOT/build/bin/screen-text"
