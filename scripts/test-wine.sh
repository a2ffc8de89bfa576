#!/usr/bin/env bash
# Runs the Windows programs under wine (after scripts/build.sh native,
# mingw64 and mingw32), the 64-bit and then the 32-bit build: their smoke
# tests and kavlen.exe's window scenarios, then the console status, scenario
# and long-option tables against ukavlen.exe, and the scenario table of the
# native ukavlen through kavlen-bridge.exe, each simulator reached over
# loopback TCP.
#
# One wine prefix for the run (build/wineprefix, made afresh), and one wine
# server kept alive across the table's runs, so that a start costs about
# 0.05 s instead of 0.4 s; it ends 5 s after the last program, and the script
# waits for that, so nothing outlives the run. wine's output goes to files,
# never to pipes, which its server would hold open.
set -euo pipefail
cd "$(dirname "$0")/.."

wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX=$PWD/build/wineprefix
scripts/wine-prefix.sh "$WINEPREFIX" || { echo "no wine prefix"; exit 1; }
"$wineserver" -p5 >/dev/null 2>&1 </dev/null
finish() { "$wineserver" -w; }
trap finish EXIT

status=0
for build in mingw64 mingw32; do
  echo "== $build"
  # A second try for a test that failed: wine at times loses a program
  # at its start (no output, no window), which is not the program's fault;
  # a fault of the program fails both tries.
  ctest --test-dir "build/$build" --output-on-failure --timeout 300 --repeat until-pass:2 || status=1

  # the status, scenario and long-option tables, each for ukavlen.exe
  for table in ukavlen_binary_test ukavlen_run_test ukavlen_features_test; do
    table_log=$(mktemp)
    KAVLEN_UKAVLEN_EXE=$PWD/build/$build/bin/ukavlen.exe \
      "build/native/bin/$table" --gtest_filter='*UkavlenExe*' >"$table_log" 2>&1 || status=1
    cat "$table_log"
    # a table that ran no row has not passed
    if ! grep -q '^\[  PASSED  \] [1-9]' "$table_log"; then status=1; fi
    rm -f "$table_log"
  done
  # the scenario table once more: native ukavlen through kavlen-bridge.exe
  table_log=$(mktemp)
  KAVLEN_BRIDGE_EXE=$PWD/build/$build/bin/kavlen-bridge.exe \
    build/native/bin/ukavlen_run_test --gtest_filter='*BridgeExe*' >"$table_log" 2>&1 || status=1
  cat "$table_log"
  if ! grep -q '^\[  PASSED  \] [1-9]' "$table_log"; then status=1; fi
  rm -f "$table_log"
done
exit "$status"
