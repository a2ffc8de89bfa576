#!/usr/bin/env bash
# Runs the Windows console program under wine64 (after scripts/build.sh
# native and mingw64): its smoke test, then the console status and scenario
# tables against ukavlen.exe, each simulator reached over loopback TCP.
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
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
"$wineserver" -p5 >/dev/null 2>&1 </dev/null
finish() { "$wineserver" -w; }
trap finish EXIT

boot_log=$(mktemp)
if ! scripts/wine-run.sh wineboot -i >"$boot_log"; then
  cat "$boot_log"
  rm -f "$boot_log"
  echo "wineboot -i failed"
  exit 1
fi
rm -f "$boot_log"

ctest --test-dir build/mingw64 --output-on-failure --timeout 300

# the status, scenario and long-option tables, each for ukavlen.exe
status=0
for table in ukavlen_binary_test ukavlen_run_test ukavlen_features_test; do
  table_log=$(mktemp)
  KAVLEN_UKAVLEN_EXE=$PWD/build/mingw64/bin/ukavlen.exe \
    "build/native/bin/$table" --gtest_filter='*UkavlenExe*' >"$table_log" 2>&1 || status=1
  cat "$table_log"
  # a table that ran no row has not passed
  if ! grep -q '^\[  PASSED  \] [1-9]' "$table_log"; then status=1; fi
  rm -f "$table_log"
done
exit "$status"
