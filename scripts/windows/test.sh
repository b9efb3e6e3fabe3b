#!/usr/bin/env bash
# The Windows build's tests: cross-built, then run by ctest under Wine on a private
# Xvfb (pinned prefix, no crash dialog, SDL's windows video driver). Prints ctest's
# summary; the test programs' files left out on Windows are in
# build-win/windows-skipped-tests.txt with their reasons.
#   bash scripts/windows/test.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
source scripts/windows/env.sh
BUILD=${CORVANE_WIN_BUILD:-build-win}
bash scripts/windows/build.sh
for n in $(seq 90 140); do [ -e /tmp/.X$n-lock ] || { corvane_xvfb ":$n"; break; }; done
corvane_wine_prefix
# The test environment (ctest hands tests listed at run time only the first entry
# of the project's list): GL in real windows, sound into nothing, no software-GL box.
export SDL_VIDEODRIVER=windows SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=NUL CORVANE_NO_SOFTWARE_GL_BOX=1
# One wineserver for the whole run: each test program then starts in a fraction of a second.
wineserver -p 60 2>/dev/null || true
status=0
start=$SECONDS
# Every case is bounded: a program that hangs under Wine is ended after 120 s.
(cd "$BUILD" && ctest --output-on-failure --timeout 120 -j1 "$@") 2>&1 | tee "$BUILD/ctest-output.log" || true
grep -qE '100% tests passed' "$BUILD/ctest-output.log" || status=1
echo "Wine test run: $((SECONDS - start)) s"
if [ -s "$BUILD/windows-skipped-tests.txt" ]; then
  echo "Test files left out on Windows:"
  sed 's/^/  /' "$BUILD/windows-skipped-tests.txt"
fi
exit $status
