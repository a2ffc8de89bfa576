#!/usr/bin/env bash
# test-wine-driver.sh [PREFIX]: runs the Windows programs under wine through
# their real driver path (after scripts/build.sh native, mingw64 and
# mingw32). No KAVLEN_DEVICE_DIR is set: ukavlen.exe and kavlen.exe, 64-bit
# and 32-bit, find each kavlen-sim as a device of the stand-in driver
# (tests/windows/driver/) through the setup service, open it with
# CreateFileA and send it their control requests, which the driver relays
# to the simulator. The rows are those of the console tables and window
# scenarios whose scenario is the same through the driver; a download stops
# at its pipe's open, which wine 8.0 cannot pass to a driver (see
# kDriverOpensPipes).
#
# One wine prefix for the run (PREFIX, default build/wine-driver-prefix, made
# afresh) holding the 64-bit driver, which the 32-bit programs reach through
# WoW64; one wine server kept alive across the runs, waited for at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export KAVLEN_DRIVER_SETUP=$PWD/build/mingw64/bin/kavlen-driver-setup.exe
export WINEPREFIX
WINEPREFIX=$(realpath -m "${1:-build/wine-driver-prefix}")
unset KAVLEN_DEVICE_DIR

log=$(mktemp)
if ! tests/windows/driver/setup-prefix.sh "$WINEPREFIX" "$KAVLEN_DRIVER_SETUP" \
     build/mingw64/bin/kavlensim.sys >"$log" 2>&1; then
  cat "$log"
  echo "the stand-in driver could not be installed"
  exit 1
fi
"$wineserver" -p5 >/dev/null 2>&1 </dev/null
finish() { rm -f "$log"; "$wineserver" -w; }
trap finish EXIT

status=0
# table BINARY ROW...: those rows of a console table for this build's ukavlen.exe
table() {
  local binary=$1 filter="" row
  shift
  for row; do filter+="${filter:+:}*UkavlenExe*/$row"; done
  KAVLEN_UKAVLEN_EXE=$PWD/build/$build/bin/ukavlen.exe \
    "build/native/bin/$binary" --gtest_filter="$filter" >"$log" 2>&1 || status=1
  cat "$log"
  # every row named has run and passed
  grep -q "^\[  PASSED  \] $# test" "$log" || { echo "not all of $# rows passed"; status=1; }
}
# window SCENARIO SIMULATOR-ARGS|none: one of kavlen-gui-driver's scenarios,
# with a second try for a program wine lost at its start (as scripts/test-wine.sh)
window() {
  local name=$1 sim=build/native/bin/kavlen-sim
  shift
  [ "$1" != none ] || { sim=none; shift; }
  local run=(tests/windows/gui/run-with-xvfb.sh "$WINEPREFIX" --sim "$sim" "$@" --
             "build/$build/bin/kavlen-gui-driver.exe" "$name" "Z:$PWD/build/$build/bin/kavlen.exe")
  if "${run[@]}" >"$log" 2>&1 || "${run[@]}" >"$log" 2>&1; then
    echo "window scenario $name: passed"
  else
    cat "$log"
    echo "window scenario $name: FAILED"
    status=1
  fi
}

for build in mingw64 mingw32; do
  echo "== $build through the stand-in driver"
  ctest --test-dir "build/$build" -R '^ukavlen_wine_(u|list)_without_device$' \
    --output-on-failure --timeout 300 || status=1
  table ukavlen_binary_test StatusWithoutDevice StatusWithDeviceOpensAndClosesOnce \
    StatusWithRefusedOpen
  table ukavlen_features_test ListNamesEachInEnumerationOrder StatusUsesTheLastOne \
    DeviceNumberReachesThatEmulatorAlone NoSuchDeviceNumber NoInPipe FolderMissing
  table ukavlen_run_test NoEmulator OsRunningWithVerify BootCodeGetsItsOs DeviceInfoNotReceived \
    DeviceOsFileMissing DeviceOsDoesNotStart BootCodeReportsError UnrecognisedBootReply \
    ImageFileMissing ImageOneByteOverTheCapacity NeverReady ReadyAfterThreeBusyReplies NoOutPipe
  window start_os --state os
  window start_boot --state boot
  window no_device none
  window reset_target --state os
  window download_verify --state os
  window unplugged --state os
done
exit "$status"
