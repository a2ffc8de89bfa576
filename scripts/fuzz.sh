#!/usr/bin/env bash
# fuzz.sh TARGET|all SECONDS, or fuzz.sh TARGET|all --runs N: builds the fuzz
# flavour and runs one libFuzzer target (or each in turn) for SECONDS, or for
# N executions, starting from its seed corpus in tests/fuzz/corpus/TARGET.
# New inputs collect in build/fuzz/corpus/TARGET, findings in
# build/fuzz/findings/TARGET; the seeds in the tree are left alone.
# Exits non-zero when a target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: $0 TARGET|all SECONDS | $0 TARGET|all --runs N   (targets: $(ls tests/fuzz/corpus | tr '\n' ' '))" >&2
  exit 2
}
if [ $# -eq 2 ] && [[ $2 =~ ^[0-9]+$ ]]; then
  limit=-max_total_time=$2 length="$2 s"
elif [ $# -eq 3 ] && [ "$2" = --runs ] && [[ $3 =~ ^[0-9]+$ ]]; then
  limit=-runs=$3 length="$3 runs"
else
  usage
fi
if [ "$1" = all ]; then
  targets=$(ls tests/fuzz/corpus)
else
  [ -d "tests/fuzz/corpus/$1" ] || { echo "fuzz.sh: no target $1" >&2; exit 2; }
  targets=$1
fi

scripts/build.sh fuzz

# The targets write their input files under TMPDIR: memory is fastest.
scratch=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp )/kavlen-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

for target in $targets; do
  corpus=build/fuzz/corpus/$target
  findings=build/fuzz/findings/$target
  mkdir -p "$corpus" "$findings"
  echo "== $target, $length"
  TMPDIR=$scratch ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "build/fuzz/bin/$target" "$limit" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$target"
done
