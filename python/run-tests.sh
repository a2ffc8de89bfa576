#!/usr/bin/env bash
# run-tests.sh SIMULATOR (LIBRARY | WHEEL): installs the kavlen package into
# a fresh virtual environment (Debian's pytest from the system) and runs its
# tests against SIMULATOR. Given the library, it first makes a wheel of the
# package with it inside, as scripts/package.sh does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sim=$(realpath "$1") given=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wheel=$given
if [[ $given != *.whl ]]; then
  "$python" "$here/make_wheel.py" 0.0.0 linux_x86_64 "$given" "$work/wheels" >/dev/null
  wheel=$(ls "$work"/wheels/*.whl)
fi
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install -q --no-index --no-deps --disable-pip-version-check "$wheel"
cd "$work"
KAVLEN_SIM=$sim "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$here/tests"
