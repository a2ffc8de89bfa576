#!/usr/bin/env bash
# run-jobs.sh UKAVLEN SIMULATOR: runs kavlen-rom-job.yaml with lava-run
# (Debian's lava-dispatcher) on a device whose flasher is UKAVLEN, against
# SIMULATOR: once passing, once with a byte the emulator corrupts, which
# must fail the job. Exits 77 (skipped) when lava-run is not installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ukavlen=$(realpath "$1") sim=$(realpath "$2")
command -v lava-run >/dev/null || { echo "lava-run is not installed (apt-get install lava-dispatcher)"; exit 77; }
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

# the device as kavlen-target.jinja2 renders it, the emulator on this machine
cat >"$work/device.yaml" <<END
actions:
  deploy:
    methods:
      flasher:
        commands: ['$ukavlen -d {IMAGE} -v --device 1']
  boot:
    connections:
      serial:
    methods:
      minimal:
timeouts:
  actions: {}
  connections: {}
END
head -c 70000 /dev/urandom >"$work/rom.bin"
sed "s|url: .*|url: file://$work/rom.bin|" "$here/kavlen-rom-job.yaml" >"$work/job.yaml"
export KAVLEN_DEVICE_DIR=$work/devices
mkdir -m 700 "$KAVLEN_DEVICE_DIR"

# job NAME EXPECTED-STATUS SIMULATOR-ARGS...: runs the job, checks its exit
# status and that its last result line holds each of the texts in $expect
job() {
  local name=$1 expected=$2 status=0
  shift 2
  "$sim" --dir "$KAVLEN_DEVICE_DIR" --state os "$@" >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^listening on' "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
  mkdir "$work/$name"
  lava-run --job-id "kavlen-$$-$name" --output-dir "$work/$name" --device "$work/device.yaml" \
    "$work/job.yaml" >"$work/$name.log" 2>&1 || status=$?
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
  local text
  for text in "${expect[@]}"; do
    grep -qF -- "$text" "$work/$name.log" || { cat "$work/$name.log"; echo "$name: no $text"; exit 1; }
  done
  [ "$status" -eq "$expected" ] || { cat "$work/$name.log"; echo "$name: lava-run exited $status"; exit 1; }
  echo "$name: passed"
}
expect=('>> Verify OK !!' '{"case": "job", "definition": "lava", "result": "pass"}')
job passing 0
expect=('>> Error at 0x4123 --> Orginal=' 'Returned 3 in' '"error_msg": "Unable to flash the device", "error_type": "Job", "result": "fail"}')
job failing 1 --corrupt 0x4123
