#!/usr/bin/env bash
# Cross-builds Corvane for 64-bit Windows into build-win/ (the libraries from
# deps.sh's cache, built first when missing).
#   bash scripts/windows/build.sh [TARGET...]     (no target: everything)
# CORVANE_WIN_BUILD names another build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/windows/env.sh
# The real folder: the cache keys may name one folder twice through a link.
# CORVANE_WIN_PREFIX names libraries made elsewhere instead of deps.sh's.
PREFIX=$(realpath "${CORVANE_WIN_PREFIX:-$(corvane_win_prefix)}")
BUILD=${CORVANE_WIN_BUILD:-build-win}
# The demo song's generator runs under Wine while building.
corvane_wine_prefix
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64.cmake" \
  -DCORVANE_WIN_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_BENCH=OFF \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$BUILD" -j"$(nproc 2>/dev/null || echo 2)" "${targets[@]}"
