#!/usr/bin/env bash
# Sets up the machine for the native programs only, builds ukavlen and
# kavlen-sim, and runs ukavlen's main job against the emulator simulator:
# the device starts in its boot code, gets its device OS, and receives a
# sample image that is read back and verified.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh programs
scripts/build.sh programs ukavlen kavlen-sim
bin=$PWD/build/programs/bin

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# ukavlen looks for the device OS beside itself. The simulator accepts any
# bytes as its device OS, so the demo makes its own; a real emulator needs
# the TPROMOS.USB of its maker.
cp "$bin/ukavlen" "$work/"
head -c 6144 /dev/urandom >"$work/TPROMOS.USB"
# A 100 KB sample image: a 128 KB ROM once filled. (Through a file: a pipe
# into head would end seq with SIGPIPE, and pipefail the demo.)
seq 1 20000 >"$work/numbers.txt"
head -c 102400 "$work/numbers.txt" >"$work/sample.bin"

export KAVLEN_DEVICE_DIR=$work/devices
"$bin/kavlen-sim" --dir "$KAVLEN_DEVICE_DIR" --state boot --log "$work/sim.log" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^listening on' "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
grep -q '^listening on' "$work/sim.out" || { echo "kavlen-sim did not start: $(cat "$work/sim.out")"; exit 1; }

echo "\$ ukavlen -u"
"$work/ukavlen" -u || true
echo
echo "\$ ukavlen -d sample.bin -v"
cd "$work"
status=0
./ukavlen -d sample.bin -v || status=$?
echo "(exit status $status)"
exit $status
