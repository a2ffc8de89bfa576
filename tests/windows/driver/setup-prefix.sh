#!/usr/bin/env bash
# setup-prefix.sh PREFIX SETUP.EXE DRIVER.SYS [SLOTS]: makes a fresh wine
# prefix with the stand-in driver installed as SLOTS (3) kernel services, one
# per device slot, ready for `SETUP.EXE add` and `remove`. The prefix is set
# up as the window tests want it (run-with-xvfb.sh): wineboot -i, then
# wineserver -w, and only then the services, which a prefix still being
# made would lose.
set -euo pipefail
prefix=$(realpath -m "$1") setup=$2 driver=$(realpath "$3") slots=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$prefix"
mkdir -p "$prefix"
# the driver's image path, as the service manager reads it
image=$(echo "Z:$driver" | tr / '\\')
"$here/../gui/run-with-xvfb.sh" "$prefix" "$setup" services "$slots" "$image"
