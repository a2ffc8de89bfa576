#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test: the native build,
# the README's first command (scripts/demo.sh), the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the tests that start
# threads under ThreadSanitizer, a short run of each fuzz target, the two
# Windows cross builds and, for each of them under wine, the
# console program's smoke test, kavlen.exe's window scenarios (on a private
# Xvfb screen) and the console tables, then builds the release packages and
# checks them (installing the Debian package and, under wine, the Windows
# installers, and removing them again). It prints the time each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
passed=0
timings=()
stage_name="" stage_start=0
# Starts a stage; the time each one took is printed at the end.
stage() {
  [ -z "$stage_name" ] || timings+=("$stage_name: $((SECONDS - stage_start)) s")
  stage_name=$1 stage_start=$SECONDS
  [ -z "$1" ] || echo "== $1"
}
# Adds up the "[  PASSED  ] N tests." of GoogleTest programs' output.
count_gtest() {
  local count
  for count in $(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$1"); do
    passed=$((passed + count))
  done
}
# run_ctest DIR [CTEST ARGUMENTS]: runs one build's tests (through the
# command in ctest_runner, if any); set -e stops the script at the first
# failure.
ctest_runner=()
run_ctest() {
  local log dir=$1
  shift
  log=$(mktemp)
  "${ctest_runner[@]}" ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 300 "$@" | tee "$log"
  local status=${PIPESTATUS[0]}
  local count
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  rm -f "$log"
  [ "$status" -eq 0 ] || return "$status"
  passed=$((passed + ${count:-0}))
}

stage "native build and tests"
scripts/build.sh native
run_ctest build/native

stage "the README's first command: scripts/demo.sh"
demo_log=$(mktemp)
scripts/demo.sh >"$demo_log" 2>&1 || { cat "$demo_log"; echo "scripts/demo.sh failed"; exit 1; }
grep -q '^Verify OK !!$' "$demo_log" || { cat "$demo_log"; echo "scripts/demo.sh: no Verify OK !!"; exit 1; }
rm -f "$demo_log"
passed=$((passed + 1))

stage "sanitizer build and tests (address, undefined)"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build/asan

stage "thread tests under ThreadSanitizer (ctest -L threads)"
scripts/build.sh tsan
# without address space randomisation, which on kernels that randomise
# wider leaves clang 14's ThreadSanitizer no room for its shadow memory
ctest_runner=(setarch "$(uname -m)" -R)
TSAN_OPTIONS=halt_on_error=1 run_ctest build/tsan -L threads
ctest_runner=()

stage "fuzz targets, 20 s each from their seeds"
scripts/fuzz.sh all 20

stage "Windows cross builds (x86_64, i686)"
scripts/build.sh mingw64
scripts/build.sh mingw32

stage "wine, 64-bit and 32-bit builds: smoke tests, kavlen.exe's window scenarios and the console tables against ukavlen.exe"
wine_log=$(mktemp)
wine_status=0
scripts/test-wine.sh >"$wine_log" 2>&1 || wine_status=$?
cat "$wine_log"
count_gtest "$wine_log"
# one ctest summary for each of the two builds
for count in $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$wine_log"); do
  passed=$((passed + count))
done
rm -f "$wine_log"
[ "$wine_status" -eq 0 ] || exit "$wine_status"

stage "wine through the stand-in driver: both builds' real driver calls, no KAVLEN_DEVICE_DIR"
driver_log=$(mktemp)
driver_status=0
scripts/test-wine-driver.sh >"$driver_log" 2>&1 || driver_status=$?
cat "$driver_log"
count_gtest "$driver_log"
passed=$((passed + $(grep -c '^window scenario .*: passed$' "$driver_log" || true)))
rm -f "$driver_log"
[ "$driver_status" -eq 0 ] || exit "$driver_status"

stage "release packages (Debian package, Windows zips and installers, Python wheels) and their checks"
scripts/package.sh all
log=$(mktemp)
scripts/check-packages.sh | tee "$log"
count=$(sed -n 's/^package checks: \([0-9]*\) passed, 0 failed$/\1/p' "$log")
rm -f "$log"
passed=$((passed + ${count:-0}))
stage ""

echo "== all tests passed"
echo "$passed passed, 0 failed"
printf '%s\n' "${timings[@]}"
