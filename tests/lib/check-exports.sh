#!/usr/bin/env bash
# check-exports.sh LIBRARY: the symbols the built library exports are
# exactly the calls include/kavlen/kavlen.h declares, and lib/kavlen.map and
# lib/kavlen.def list the same names; so the C interface cannot change by
# accident. A .dll is read with objdump -p, anything else with nm -D.
set -euo pipefail
src=$(dirname "$0")/../..
library=$1
header=$(grep -o 'KV_API [^(]*(' "$src/include/kavlen/kavlen.h" | grep -o 'kv_[a-z_]*($' | tr -d '(' | sort)
map=$(sed -n 's/^ *\(kv_[a-z_]*\);$/\1/p' "$src/lib/kavlen.map" | sort)
def=$(sed -n 's/^ *\(kv_[a-z_]*\)$/\1/p' "$src/lib/kavlen.def" | sort)
case "$library" in
  *.dll) exported=$("${OBJDUMP:-objdump}" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
                    sed -n 's/^\t\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' | sort) ;;
  *) exported=$(nm -D --defined-only "$library" | awk '$2 != "A" { print $3 }' | sed 's/@.*//' | sort) ;;
esac
status=0
compare() {
  if [ "$2" != "$3" ]; then
    echo "$1 differ from the header's calls:"
    diff <(echo "$3") <(echo "$2") || true
    status=1
  fi
}
[ -n "$header" ] || { echo "no calls found in kavlen.h"; exit 1; }
compare "lib/kavlen.map's names" "$map" "$header"
compare "lib/kavlen.def's names" "$def" "$header"
compare "the exports of $library" "$exported" "$header"
# a DLL needs nothing beyond Windows' own DLLs and the C runtime
if [[ $library == *.dll ]]; then
  imports=$("${OBJDUMP:-objdump}" -p "$library" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  for dll in $imports; do
    case "$dll" in
      kernel32.dll|msvcrt.dll|setupapi.dll|ws2_32.dll|advapi32.dll|shell32.dll|user32.dll|api-ms-win-crt-*.dll) ;;
      *) echo "$library imports $dll"; status=1 ;;
    esac
  done
  [ "$status" -ne 0 ] || echo "imports: $imports"
fi
[ "$status" -ne 0 ] || echo "$(echo "$header" | wc -l) calls exported, as declared"
exit $status
