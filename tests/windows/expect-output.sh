#!/usr/bin/env bash
# expect-output.sh EXPECTED_FILE EXPECTED_STATUS COMMAND [ARGS...]
# Passes when COMMAND prints exactly the expected text (line ends folded to
# \n, as a Windows console program writes \r\n) and exits with the status.
# Output, not only the status, is checked: a 32-bit program under wine64
# prints nothing and exits 0.
set -u
expected_file=$1 expected_status=$2
shift 2
actual=$(mktemp)
"$@" | tr -d '\r' >"$actual"
status=${PIPESTATUS[0]}
if ! cmp -s "$expected_file" "$actual"; then
  echo "output differs from $expected_file:"
  diff <(od -c "$expected_file") <(od -c "$actual") | head -40
  rm -f "$actual"
  exit 1
fi
rm -f "$actual"
if [ "$status" -ne "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"
  exit 1
fi
echo "output and exit status as expected"
