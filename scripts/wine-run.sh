#!/usr/bin/env bash
# Runs a Windows program under wine64 and passes on its standard output and
# exit status. wine's background server inherits the descriptors it is given,
# so the program writes to a file here: a pipe (CTest's) would stay open
# until the server exits and hang the caller.
set -u
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/kavlen-wine}"
export WINEDEBUG=-all
# (nor menu entries of installed Windows programs on the machine running wine)
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX"
# A prefix made before 32-bit wine was installed, or by a wineboot that came
# back without its 32-bit part, has an empty syswow64, and a 32-bit program
# in it ends at once with nothing printed.
if [ -x /usr/lib/wine/wine ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ] &&
   [ -z "$(ls -A "$WINEPREFIX/drive_c/windows/syswow64" 2>/dev/null)" ]; then
  echo "wine-run: $WINEPREFIX has no 32-bit part: make it again with scripts/wine-prefix.sh" >&2
  exit 125
fi
out=$(mktemp)
"$wine" "$@" >"$out" 2>/dev/null </dev/null
status=$?
cat "$out"
rm -f "$out"
exit $status
