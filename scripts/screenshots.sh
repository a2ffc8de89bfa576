#!/usr/bin/env bash
# Makes the README's screenshots again, into doc/screenshots/ (after
# scripts/build.sh native and mingw64): the Qt program's three dialogs from
# kavlen-gallery on an offscreen screen, and kavlen.exe's main window after a
# download, its About box and its reset dialog, taken by the wine window
# tests on their Xvfb screen and turned from BMP into PNG with netpbm.
set -euo pipefail
cd "$(dirname "$0")/.."

out=doc/screenshots
mkdir -p "$out"
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT

QT_QPA_PLATFORM=offscreen build/native/bin/kavlen-gallery --grab "$shots" >/dev/null
for name in main about reset; do cp "$shots/$name.png" "$out/kavlen-$name.png"; done

KAVLEN_SHOTS="Z:$shots" ctest --test-dir build/mingw64 --output-on-failure \
  -R '^kavlen_wine_(window|download_verify)$' >"$shots/ctest.log" ||
  { cat "$shots/ctest.log"; exit 1; }
for name in kavlen-win32-main kavlen-win32-about kavlen-win32-reset; do
  [ -f "$shots/$name.bmp" ] || { echo "screenshots: no $name.bmp"; exit 1; }
  bmptopnm "$shots/$name.bmp" 2>/dev/null | pnmtopng -compression 9 >"$out/$name.png"
done
ls -l "$out"
