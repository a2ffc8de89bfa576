#!/usr/bin/env bash
# wine-prefix.sh PREFIX: makes PREFIX a fresh wine prefix (whatever was there
# is removed), runs wineboot -i in it and waits until wine has finished with
# it. With 32-bit wine installed, the prefix must have its 32-bit part too
# (syswow64): without it a 32-bit program ends at once with nothing printed.
# wineboot has come back without that part with no word of why, so a prefix
# without it is made again, up to three times; when no try had it, this says
# so with the last try's wine messages, and whether the 32-bit loader runs at
# all on this machine.
set -u
prefix=$(realpath -m "$1")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine32=/usr/lib/wine/wine
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# wine's own messages (WINEDEBUG as wine sets it) go to the log; no Mono or
# Gecko installers, no menu entries on the machine running wine
unset WINEDEBUG
export WINEPREFIX=$prefix WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

has_32bit_part() {
  [ ! -x "$wine32" ] || [ -n "$(ls -A "$prefix/drive_c/windows/syswow64" 2>/dev/null)" ]
}

log=$(mktemp)
trap 'rm -f "$log"' EXIT
for try in 1 2 3; do
  rm -rf "$prefix"
  mkdir -p "$prefix"
  "$wine" wineboot -i >"$log" 2>&1 </dev/null
  status=$?
  "$wineserver" -w >/dev/null 2>&1 </dev/null
  if [ "$status" -eq 0 ] && has_32bit_part; then exit 0; fi
  echo "wine-prefix: try $try: wineboot -i ended with status $status," \
       "$(ls -A "$prefix/drive_c/windows/syswow64" 2>/dev/null | wc -l) files in syswow64" >&2
done
echo "wine-prefix: $prefix could not be made whole; wine said:" >&2
tail -n 40 "$log" >&2
if [ -x "$wine32" ]; then
  echo "wine-prefix: the 32-bit loader says: $("$wine32" --version 2>&1 </dev/null; echo "(status $?)")" >&2
fi
exit 1
