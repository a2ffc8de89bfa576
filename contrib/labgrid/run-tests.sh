#!/usr/bin/env bash
# run-tests.sh UKAVLEN SIMULATOR BRIDGE: the labgrid driver's tests through
# labgrid's pytest plugin (Debian's python3-labgrid and pytest).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ukavlen=$(realpath "$1") sim=$(realpath "$2") bridge=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
LG_UKAVLEN=$ukavlen KAVLEN_SIM=$sim KAVLEN_BRIDGE=$bridge PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider --lg-env "$here/tests/env.yaml" "$here/tests"
