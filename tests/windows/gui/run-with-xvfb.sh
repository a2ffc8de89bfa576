#!/usr/bin/env bash
# run-with-xvfb.sh PREFIX [--sim SIMULATOR ARGS... --] PROGRAM.EXE ARGS...:
# runs a Windows GUI test program under wine on a private Xvfb screen, in the
# wine prefix PREFIX (made on first use), and exits with the program's status.
# Windows paths given as ARGS are written Z:/unix/path.
#
# Each run has a scratch folder of its own, named to the program in
# KAVLEN_SCENARIO_DIR (a Windows path). With --sim, SIMULATOR (kavlen-sim)
# runs with ARGS as the one attached emulator, reached over TCP through a
# private KAVLEN_DEVICE_DIR; it logs to sim.log and dumps each download to
# dump.bin in the scratch folder, and is stopped when the program has ended.
# `--sim none` gives the program an empty device folder: no emulator.
#
# With KAVLEN_DRIVER_SETUP naming the stand-in driver's setup tool (see
# tests/windows/driver/), PREFIX must hold that driver (setup-prefix.sh)
# and there is no KAVLEN_DEVICE_DIR: the simulator is plugged in as the
# driver's device 0 while the program runs, so the program reaches it
# through its real driver calls; `--sim none` plugs in nothing.
#
# The prefix is set up so that dialogs look as on Windows and close promptly:
# Tahoma and Marlett from fonts-wine in its Fonts folder (wine does not find
# Debian's copies, and dialogs would come out in another face and size), 96
# dots per inch (KAVLEN_WINE_DPI, e.g. 144 for a 150 % screen; a prefix keeps
# the value it was made with), and windows not managed by a window manager (there is none,
# and without this EndDialog waits 2 s for one). The main window's face,
# Microsoft Sans Serif, is not among wine's fonts: Tahoma stands in for it,
# as it does for the dialog face, instead of whatever the host offers.
set -u
prefix=$(realpath -m "$1"); shift
sim=() sim_args=()
if [ "${1:-}" = --sim ]; then
  sim=("$2"); shift 2
  while [ $# -gt 0 ] && [ "$1" != -- ]; do sim_args+=("$1"); shift; done
  shift
fi
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# No browser: a link the program opens must not start one on the host.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winebrowser.exe=d"
fonts=/usr/share/wine/fonts
dpi=${KAVLEN_WINE_DPI:-96}

fail() { echo "run-with-xvfb: $*" >&2; exit 1; }
[ -x "$wine" ] || fail "no wine64"
command -v Xvfb >/dev/null || fail "no Xvfb (package xvfb)"
[ -f $fonts/tahoma.ttf ] && [ -f $fonts/marlett.ttf ] || fail "no Tahoma/Marlett (package fonts-wine)"

work=$(mktemp -d)
xvfb_pid= sim_pid=
stop_sim() {
  [ -n "$sim_pid" ] || return 0
  [ -z "${KAVLEN_DRIVER_SETUP:-}" ] || "$wine" "$KAVLEN_DRIVER_SETUP" remove 0 >"$work/unplug" 2>&1
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=
}
cleanup() {
  stop_sim
  "$wineserver" -w 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A private 24-bit screen; Xvfb writes its display number when it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(cat "$work/display")

run() { "$wine" "$@" >"$work/out" 2>"$work/err" </dev/null; }

if [ ! -f "$prefix/.kavlen-ready-2" ]; then
  "$(dirname "$0")/../../../scripts/wine-prefix.sh" "$prefix" || fail "no wine prefix"
  run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || fail "reg add Managed"
  run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f || fail "reg add LogPixels"
  run reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d "$dpi" /f || fail "reg add LogPixels (machine)"
  run reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'Microsoft Sans Serif' /d Tahoma /f || fail "reg add FontSubstitutes"
  cp $fonts/tahoma.ttf $fonts/tahomabd.ttf $fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
  "$wineserver" -w
  touch "$prefix/.kavlen-ready-2"
fi

# Windows path of a Linux path under wine's Z: drive.
winpath() { echo "Z:$1" | tr / '\\'; }
mkdir -p "$work/scenario"
export KAVLEN_SCENARIO_DIR=$(winpath "$work/scenario")
if [ ${#sim[@]} -gt 0 ]; then
  mkdir -m 700 "$work/devices"
  [ -n "${KAVLEN_DRIVER_SETUP:-}" ] || export KAVLEN_DEVICE_DIR=$(winpath "$work/devices")
  if [ "${sim[0]}" != none ]; then
    "${sim[0]}" --tcp --dir "$work/devices" --log "$work/scenario/sim.log" \
        --dump "$work/scenario/dump.bin" "${sim_args[@]}" >"$work/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
      ls "$work"/devices/*/*.tcp >/dev/null 2>&1 && break
      sleep 0.1
    done
    ls "$work"/devices/*/*.tcp >/dev/null 2>&1 || fail "the simulator did not start: $(cat "$work/sim.out")"
    if [ -n "${KAVLEN_DRIVER_SETUP:-}" ]; then
      run "$KAVLEN_DRIVER_SETUP" add 0 "$(winpath "$(ls "$work"/devices/*/*.tcp)")" ||
        fail "the simulator could not be plugged in: $(cat "$work/out")"
    fi
  fi
fi

run "$@"
status=$?
stop_sim
cat "$work/out"
[ "$status" -eq 0 ] || { echo "run-with-xvfb: exit status $status" >&2; tail -20 "$work/err" >&2; }
# A dialog program that cannot reach the screen ends silently with 91.
[ "$status" -ne 91 ] || echo "run-with-xvfb: status 91: the program could not open its windows on $DISPLAY" >&2
exit $status
