#!/usr/bin/env bash
# run-c-scenarios.sh SIMULATOR PROGRAM [LIBRARY] [--wine]: runs each scenario
# of kavlen_c_scenarios against a kavlen-sim of its own (or none), from a
# scratch folder that holds a copy of the program (and of LIBRARY, the DLL,
# beside it) and a TPROMOS.USB, which the library's device OS search finds
# beside the program. With --wine the program runs under wine and reaches the
# simulator over TCP. Every simulator log must be free of violations (a
# second handle opened while one was open).
set -u
sim=$1 program=$2
shift 2
library= wine=()
[ $# -gt 0 ] && [ "$1" != --wine ] && { library=$1; shift; }
[ "${1:-}" = --wine ] && wine=("$(realpath "$(dirname "$0")/../../scripts/wine-run.sh")")
tcp=()
[ ${#wine[@]} -eq 0 ] || tcp=(--tcp)

# scenario | simulator arguments ("none": no simulator)
scenarios=(
  "download|--state os"
  "corrupt|--state os --corrupt 0x4123"
  "busy|--state os"
  "no_device|none"
  "bad_hex|none"
  "boot|--state boot"
  "cancel|--state os"
  "cancel_unordered|--state os"
  "refused|--state os --refuse-open"
)

work=$(mktemp -d)
sim_pid=
stop_sim() { [ -z "$sim_pid" ] || { kill "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=; }; }
trap 'stop_sim; rm -rf "$work"' EXIT
status=0
for row in "${scenarios[@]}"; do
  name=${row%%|*} args=${row#*|}
  dir=$work/$name
  mkdir -p "$dir/devices"
  chmod 700 "$dir/devices"
  cp "$program" "$dir/"
  [ -z "$library" ] || cp "$library" "$dir/"
  printf 'device OS of the C scenarios' >"$dir/TPROMOS.USB"
  export KAVLEN_DEVICE_DIR=$dir/devices
  if [ "$args" != none ]; then
    # shellcheck disable=SC2086
    "$sim" "${tcp[@]}" --dir "$dir/devices" --log "$dir/sim.log" $args >"$dir/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 200); do grep -qs '^listening on' "$dir/sim.out" && break; sleep 0.05; done
  fi
  (cd "$dir" && "${wine[@]}" "./$(basename "$program")" "$name" >"$dir/out.txt" 2>&1)
  result=$?
  stop_sim
  cat "$dir/out.txt"
  if [ "$result" -ne 0 ]; then echo "$name: exit status $result"; status=1; fi
  if [ -f "$dir/sim.log" ] && grep -q violation "$dir/sim.log"; then
    echo "$name: the simulator saw a second handle"; status=1
  fi
  if [ "$name" = boot ] && ! grep -q "\"ioctl\":\"LOAD_DEVICE_OS\",\"in\":\"$(od -An -v -tx1 "$dir/TPROMOS.USB" | tr -d ' \n')\"" "$dir/sim.log"; then
    echo "boot: the device OS beside the program was not loaded"; status=1
  fi
done
exit $status
