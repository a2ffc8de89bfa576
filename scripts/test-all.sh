#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test: the native build,
# the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# two Windows cross builds and the Windows program's smoke test under wine,
# then builds the release packages and checks them (installing the Debian
# package and removing it again).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
passed=0
# Runs one build's tests; set -e stops the script at the first failure.
run_ctest() {
  local log
  log=$(mktemp)
  ctest --test-dir "$1" -j"$jobs" --output-on-failure --timeout 300 | tee "$log"
  local status=${PIPESTATUS[0]}
  local count
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  rm -f "$log"
  [ "$status" -eq 0 ] || return "$status"
  passed=$((passed + ${count:-0}))
}

echo "== native build and tests"
scripts/build.sh native
run_ctest build/native

echo "== sanitizer build and tests (address, undefined)"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build/asan

echo "== Windows cross builds (x86_64, i686) and the wine smoke test"
scripts/build.sh mingw64
scripts/build.sh mingw32
run_ctest build/mingw64

echo "== release packages (Debian package, Windows zips) and their checks"
scripts/package.sh all
log=$(mktemp)
scripts/check-packages.sh | tee "$log"
count=$(sed -n 's/^package checks: \([0-9]*\) passed, 0 failed$/\1/p' "$log")
rm -f "$log"
passed=$((passed + ${count:-0}))

echo "== all tests passed"
echo "$passed passed, 0 failed"
