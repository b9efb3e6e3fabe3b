#!/usr/bin/env bash
# Sets up, builds and runs every test headless: the normal build, then the
# abuse runs over hostile packs, models and fonts, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the network tests under ThreadSanitizer,
# short fuzz runs from the seeds in fuzz/corpus, then the Windows build under Wine
# (CORVANE_WINDOWS=0 leaves it out).
#
# Usage: test.sh [--quick]
#   --quick  the layer and reference checks, the normal build and its tests only
#            (the contributor's loop, no Windows stage; the full run is the default
#            and what CI runs)
set -euo pipefail
quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/setup.sh

JOBS=$(nproc 2>/dev/null || echo 2)
export SDL_VIDEODRIVER=offscreen
export SDL_AUDIODRIVER=dummy
# Tests must never show anything on a display or wait for a person.
unset DISPLAY WAYLAND_DISPLAY || true

status=0
total_pass=0
total_fail=0

# Runs ctest in a build folder and adds its counts to the totals.
run_ctest() {
  local dir=$1 timeout=$2 log
  shift 2
  log="$dir/ctest-output.log"
  if (cd "$dir" && ctest --output-on-failure --timeout "$timeout" -j1 "$@") 2>&1 | tee "$log"; then :; else status=1; fi
  local line passed failed all
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -z "$line" ]; then status=1; return; fi
  failed=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  all=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/')
  passed=$((all - failed))
  total_pass=$((total_pass + passed)); total_fail=$((total_fail + failed))
  [ "$failed" -eq 0 ] || status=1
}

echo "== layers"
bash scripts/check_layers.sh
echo "== command reference"
python3 scripts/commands_reference.py --check docs/commands.md

echo "== build (RelWithDebInfo)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$JOBS"
echo "== tests"
run_ctest build 300
if [ "$quick" -eq 1 ]; then
  echo "total: $total_pass passed, $total_fail failed (quick run: the normal build only)"
  exit $status
fi

# The fast abuse runs: pack extraction attacks, and the tools over generated hostile
# models and fonts; each prints one line per case and "abuse ...: P passed, F failed".
run_abuse() {
  local log="build/abuse-$1.log" line
  shift
  if python3 "$@" 2>&1 | tee "$log"; then :; else status=1; fi
  line=$(grep -E '^abuse [a-z]+: [0-9]+ passed, [0-9]+ failed' "$log" | tail -1 || true)
  if [ -z "$line" ]; then status=1; total_fail=$((total_fail + 1)); return; fi
  total_pass=$((total_pass + $(echo "$line" | sed -E 's/.*: ([0-9]+) passed.*/\1/')))
  total_fail=$((total_fail + $(echo "$line" | sed -E 's/.* ([0-9]+) failed.*/\1/')))
}
echo "== abuse runs"
run_abuse packs scripts/abuse/packs.py build/bin
run_abuse tools scripts/abuse/tools.py build/bin

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF >/dev/null
cmake --build build-asan -j"$JOBS"
echo "== tests under sanitizers"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_odr_violation=0"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_ctest build-asan 600
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

echo "== build (ThreadSanitizer: the network tests, whose two threads share the session)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TSAN=ON -DCORVANE_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$JOBS" --target test_net net_probe
echo "== network tests under ThreadSanitizer"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
run_ctest build-tsan 600 -R '^Net'
unset TSAN_OPTIONS

if ls fuzz/*.cpp >/dev/null 2>&1 && command -v clang++ >/dev/null; then
  echo "== fuzz targets (short runs)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCORVANE_FUZZ=ON -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null
  fuzz_pass=0; fuzz_fail=0
  for src in fuzz/*.cpp; do
    name=$(basename "$src" .cpp)
    cmake --build build-fuzz -j"$JOBS" --target "$name" >/dev/null
    # New inputs go to the build folder; the seeds of fuzz/corpus stay as written.
    corpus="build-fuzz/corpus-$name"; mkdir -p "$corpus"
    if ASAN_OPTIONS="detect_leaks=1" LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp" \
       timeout 120 "build-fuzz/bin/$name" -max_total_time="${FUZZ_SECONDS:-20}" -timeout=10 \
       -rss_limit_mb=2048 "$corpus" "fuzz/corpus/$name" > "build-fuzz/$name.log" 2>&1; then
      echo "fuzz $name: ok ($(grep -c . "build-fuzz/$name.log") log lines)"
      fuzz_pass=$((fuzz_pass + 1)); total_pass=$((total_pass + 1))
    else
      echo "fuzz $name: FAILED"; tail -40 "build-fuzz/$name.log"
      fuzz_fail=$((fuzz_fail + 1)); total_fail=$((total_fail + 1)); status=1
    fi
  done
  echo "fuzz targets: $fuzz_pass ran clean, $fuzz_fail crashed"
fi

# The Windows stage: the libraries (from the cache, or built the first time), the
# cross build, the tests under Wine on Xvfb, the player under Wine, and the package
# with a game built from it. CORVANE_WINDOWS=0 or 1 overrides the default below.
# On a fresh quiet 2-core machine it takes about half an hour: the packages 2-4 min,
# the libraries about 9 (15 CPU-minutes), the cross build about 4, the tests under
# Wine most of the rest; with the libraries cached, about a quarter of an hour.
# >>> DECISION: the Windows stage runs by default (1) or only when asked (0) <<<
windows_default=0
if [ "${CORVANE_WINDOWS:-$windows_default}" = 1 ]; then
  windows_start=$SECONDS
  windows_step() { echo "== Windows: $1 ($((SECONDS - windows_start)) s into the stage)"; }
  windows_count() { if "$@"; then total_pass=$((total_pass + 1)); else total_fail=$((total_fail + 1)); status=1; fi; }
  windows_step "libraries"
  if ! bash scripts/windows/deps.sh >/dev/null; then
    echo "the Windows libraries could not be made: no Windows stage"
    total_fail=$((total_fail + 1)); status=1
  else
    windows_step "cross build, tests under Wine"
    rm -f build-win/ctest-output.log
    bash scripts/windows/test.sh || true
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' build-win/ctest-output.log 2>/dev/null | tail -1 || true)
    if [ -z "$line" ]; then
      total_fail=$((total_fail + 1)); status=1
    else
      failed=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
      all=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/')
      total_pass=$((total_pass + all - failed)); total_fail=$((total_fail + failed))
      [ "$failed" -eq 0 ] || status=1
    fi
    windows_step "the player under Wine"
    windows_count bash scripts/windows/run_player.sh
    windows_step "the package, and a game built from it alone"
    windows_count bash scripts/windows/package.sh
  fi
  echo "== Windows stage: $((SECONDS - windows_start)) s"
fi

# Normal build, abuse runs, sanitizer build, fuzz runs and the Windows stage together.
echo "total: $total_pass passed, $total_fail failed"
exit $status
