#!/usr/bin/env bash
# Installs the Windows cross toolchain and Wine, and builds every library the
# Windows build links against from Debian's own source packages, into a cache
# folder outside the clone keyed by the source versions (a second run takes
# seconds). Prints the prefix it made (the last line) for the callers.
#
#   bash scripts/windows/deps.sh            # CORVANE_WIN_CACHE overrides the cache root
#
# The machine's apt sources are never changed: the source packages come through
# a private list under the cache root. FreeType and Open Asset Import are not
# built, so corvane-font and corvane-model stay Linux tools.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
CACHE_ROOT=${CORVANE_WIN_CACHE:-/var/cache/corvane-windows}
JOBS=$(nproc 2>/dev/null || echo 2)
T0=$SECONDS
S=$SECONDS
# CPU seconds (user + system) of every finished child so far: a step's cost
# apart from how busy the machine was while it ran. (The builtin must run in
# this shell, not in a command substitution's copy.)
TIMES_TMP=$(mktemp); trap 'rm -f "$TIMES_TMP"' EXIT
cpu() { times >"$TIMES_TMP"; CPU=$(awk 'NR == 2 { n = 0; for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); n += t[1] * 60 + t[2] }; printf "%d", n }' "$TIMES_TMP"); }
cpu; C=$CPU
TIMES=/dev/null
step() {
  cpu
  printf '== windows deps: %-22s %4d s wall %5d s cpu (total %d s)\n' "$1" $((SECONDS - S)) $((CPU - C)) $((SECONDS - T0)) \
    | tee -a "$TIMES" >&2
  S=$SECONDS; C=$CPU
}
log() { echo "$@" >&2; }

# --- 1. packages: the -posix compilers, Wine ('wine' holds the wine command that
# runs 64-bit programs on Debian 12), nasm for the SIMD parts, Xvfb for the tests.
# Only the -posix compilers (the plain packages pull the win32-threads ones too);
# every library ships its configure script, so no autotools.
PKGS=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 nasm xvfb
      cmake ninja-build pkg-config dpkg-dev make imagemagick x11-utils xdotool)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  step "apt install"
fi

mkdir -p "$CACHE_ROOT"
# --- 2. the private source list: the machine's own suites as deb-src. The security
# suite is left out (its source files are not served by the mirror here).
APT=$CACHE_ROOT/apt
mkdir -p "$APT"/{parts,lists/partial,cache/archives/partial}
srclist=$APT/parts/src.sources
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  awk -v RS= -v ORS='\n\n' '!/security/' /etc/apt/sources.list.d/debian.sources \
    | sed 's/^Types: deb$/Types: deb-src/' > "$srclist.new"
else
  grep -E '^deb ' /etc/apt/sources.list | grep -v security | sed 's/^deb /deb-src /' > "$APT/parts/src.list"
  : > "$srclist.new"
fi
mv "$srclist.new" "$srclist"
A=(-o Dir::Etc::SourceParts="$APT/parts" -o Dir::Etc::SourceList=/dev/null
   -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT/cache" -o Dir::State::Status=/var/lib/dpkg/status)
SOURCES=(libsdl2 libsdl2-mixer zlib libpng1.6 libjpeg-turbo lzo2 ffmpeg googletest libopenmpt)
if ! ls "$APT"/lists/*Sources* >/dev/null 2>&1; then
  apt-get "${A[@]}" update -qq
  step "private source lists"
fi
versions=""
for p in "${SOURCES[@]}"; do
  v=$(apt-cache "${A[@]}" showsrc "$p" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -V | tail -1)
  [ -n "$v" ] || { log "no source package $p in the private list"; exit 1; }
  versions+="$p=$v "
done
# The key: the source versions, the compiler, and the recipe below (the lines
# after its marker: comments and the steps above do not change the libraries).
compiler=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix 2>/dev/null || dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64)
key=$( { printf '%s\n%s\n' "$versions" "$compiler"; sed -n '/^# --- recipe ---$/,$p' "$HERE/deps.sh" | grep -v '^[[:space:]]*#'; } \
      | sha256sum | cut -c1-16)
PREFIX=$CACHE_ROOT/$key/prefix
if [ -f "$CACHE_ROOT/$key/complete" ]; then
  step "cached ($key)"
  echo "$PREFIX"
  exit 0
fi
# One build per key at a time: a second run (another build folder, a parallel CI
# job) waits for the first and then takes its result, instead of deleting its tree.
exec 9>"$CACHE_ROOT/.lock-$key"
if ! flock -n 9; then
  log "another run is building the Windows libraries ($key); waiting for it"
  flock 9
fi
if [ -f "$CACHE_ROOT/$key/complete" ]; then
  step "built by another run ($key)"
  echo "$PREFIX"
  exit 0
fi

W=$CACHE_ROOT/$key
rm -rf "$W/src" "$W/build" "$PREFIX"
mkdir -p "$W"/{src,build,logs} "$PREFIX"
L=$W/logs
TIMES=$L/timings.txt
log "building the Windows libraries into $W (logs in $L)"
echo "$versions" > "$W/versions"
cd "$W/src"
apt-get "${A[@]}" source --download-only -qq "${SOURCES[@]}" 2>&1 | grep -v -i 'unsandboxed\|sandbox' >&2 || true
for d in *.dsc; do dpkg-source -x --no-check "$d" >/dev/null; done
step "source packages"
src() { ls -d "$W"/src/"$1"-*/ | head -1; }
fail() { log "failed: $1 (see $L/$1.log)"; tail -20 "$L/$1.log" >&2; exit 1; }

# --- recipe ---
TC=$ROOT/cmake/mingw-w64.cmake
CM=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$TC" -DCMAKE_BUILD_TYPE=Release -DCORVANE_WIN_PREFIX="$PREFIX"
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX")
CROSS=x86_64-w64-mingw32
export CC_W=$CROSS-gcc-posix CXX_W=$CROSS-g++-posix

# SDL2 as a DLL: the programs and the stand-in sound library share one copy.
# Its 2D renderer goes: the runtime draws through OpenGL itself.
{ cmake -S "$(src libsdl2)" -B "$W/build/sdl2" "${CM[@]}" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF \
    -DSDL_RENDER=OFF \
  && ninja -C "$W/build/sdl2" -j"$JOBS" install; } >"$L/sdl2.log" 2>&1 || fail sdl2
step "SDL2"
# zlib: Debian's source has no win32/ folder for its CMake build; its own
# configure makes the static library.
(cd "$(src zlib)" && CHOST=$CROSS CC=$CC_W AR=$CROSS-ar RANLIB=$CROSS-ranlib CFLAGS=-O2 \
   ./configure --static --prefix="$PREFIX" && make -j"$JOBS" libz.a && make install) >"$L/zlib.log" 2>&1 || fail zlib
step "zlib"
{ cmake -S "$(src libpng1.6)" -B "$W/build/png" "${CM[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
    -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$PREFIX/lib/libz.a" -DZLIB_INCLUDE_DIR="$PREFIX/include" \
  && ninja -C "$W/build/png" -j"$JOBS" install; } >"$L/png.log" 2>&1 || fail png
step "libpng"
# The static library alone (its install target would build the command-line tools).
jpeg=$(src libjpeg-turbo)
{ cmake -S "$jpeg" -B "$W/build/jpeg" "${CM[@]}" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
  && ninja -C "$W/build/jpeg" -j"$JOBS" jpeg-static \
  && install -D -m644 "$W/build/jpeg/libjpeg.a" "$PREFIX/lib/libjpeg.a" \
  && install -D -m644 "$W/build/jpeg/pkgscripts/libjpeg.pc" "$PREFIX/lib/pkgconfig/libjpeg.pc" \
  && install -m644 "$W/build/jpeg/jconfig.h" "$jpeg/jerror.h" "$jpeg/jmorecfg.h" "$jpeg/jpeglib.h" "$PREFIX/include/"; } \
  >"$L/jpeg.log" 2>&1 || fail jpeg
step "libjpeg-turbo"
mkdir -p "$W/build/lzo"
(cd "$W/build/lzo" && CC=$CC_W "$(src lzo2)"/configure --host=$CROSS --prefix="$PREFIX" --disable-shared \
   --disable-dependency-tracking CFLAGS=-O2 \
   && make -j"$JOBS" src/liblzo2.la \
   && make install-libLTLIBRARIES install-pkgconfigDATA install-pkgincludeHEADERS) >"$L/lzo.log" 2>&1 || fail lzo
step "lzo2"
# SDL2_mixer as a DLL with WAV and OGG (its built-in stb_vorbis: no libogg/libvorbis).
{ cmake -S "$(src libsdl2-mixer)" -B "$W/build/mixer" "${CM[@]}" \
    -DBUILD_SHARED_LIBS=ON -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_DEPS_SHARED=OFF \
    -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF \
    -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF \
    -DSDL2MIXER_VORBIS=STB -DSDL2MIXER_WAVE=ON \
  && ninja -C "$W/build/mixer" -j"$JOBS" install; } >"$L/mixer.log" 2>&1 || fail mixer
step "SDL2_mixer"
# A minimal FFmpeg as DLLs: exactly the containers and decoders the runtime's video
# playback accepts (runtime/platform/platform_video_ffmpeg.cpp; a game's video
# plays on Windows when it plays on Linux), no programs, documentation, filters,
# devices or network, no debugging information; Windows threads
# (--disable-autodetect would otherwise turn them off too).
mkdir -p "$W/build/ffmpeg"
(cd "$W/build/ffmpeg" && "$(src ffmpeg)"/configure --prefix="$PREFIX" \
   --target-os=mingw32 --arch=x86_64 --cross-prefix=$CROSS- \
   --enable-shared --disable-static --disable-debug \
   --disable-everything --disable-programs --disable-doc --disable-network \
   --disable-autodetect --enable-w32threads \
   --disable-avdevice --disable-avfilter --disable-postproc \
   --enable-swscale --enable-swresample \
   --enable-protocol=file \
   --enable-demuxer=avi,mov,matroska,ogg,mpegps,wav \
   --enable-decoder=mpeg4,h264,mjpeg,vp8,vp9,theora,mpeg1video,mpeg2video \
   --enable-decoder=mp3,mp2,aac,vorbis,opus,flac,pcm_s16le,pcm_u8,pcm_s24le,pcm_f32le,adpcm_ima_wav,adpcm_ms \
   --enable-parser=h264,mpeg4video,mjpeg,vp8,vp9,vp3,mpegvideo,mpegaudio,vorbis,opus,aac,flac) \
   >"$L/ffmpeg.log" 2>&1 || fail ffmpeg
step "FFmpeg configure"
(cd "$W/build/ffmpeg" && make -j"$JOBS" && make install) >>"$L/ffmpeg.log" 2>&1 || fail ffmpeg
step "FFmpeg"
# GoogleTest without GoogleMock, which no test uses.
{ cmake -S "$(src googletest)" -B "$W/build/gtest" "${CM[@]}" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=OFF \
  && ninja -C "$W/build/gtest" -j"$JOBS" install; } >"$L/gtest.log" 2>&1 || fail gtest
step "googletest"
# libopenmpt, static, for the stand-in sound library only: the library alone
# (no player, examples, tests or documentation), none of its optional codecs.
mkdir -p "$W/build/openmpt"
(cd "$W/build/openmpt" && CC=$CC_W CXX=$CXX_W CFLAGS=-O2 CXXFLAGS=-O2 \
   PKG_CONFIG_LIBDIR="$PREFIX/lib/pkgconfig" "$(src libopenmpt)"/configure \
   --host=$CROSS --prefix="$PREFIX" --disable-shared --disable-dependency-tracking \
   --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
   --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
   --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sndfile --without-flac) \
   >"$L/openmpt.log" 2>&1 || fail openmpt
step "libopenmpt configure"
(cd "$W/build/openmpt" && make -j"$JOBS" libopenmpt.la \
   && make install-libLTLIBRARIES install-nobase_includeHEADERS install-pkgconfigDATA) >>"$L/openmpt.log" 2>&1 || fail openmpt
step "libopenmpt"

# The prefix works wherever it is copied: pkg-config files name their own folder,
# and libtool's archives (which name the build's) are not needed.
for pc in "$PREFIX"/lib/pkgconfig/*.pc; do
  sed -i "s|$PREFIX|\${pcfiledir}/../..|g" "$pc"
done
rm -f "$PREFIX"/lib/*.la
# The build trees and sources are not needed once installed.
rm -rf "$W/src" "$W/build"
touch "$W/complete"
step "done"
echo "$PREFIX"
