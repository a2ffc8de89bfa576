#!/usr/bin/env bash
# Makes the README's screenshots again, into doc/screenshots/ (after
# scripts/build.sh native and mingw64): the Qt program's three dialogs from
# kavlen-gallery on an offscreen screen, and kavlen.exe's main window after a
# download, its About box and its reset dialog, taken by the wine window
# tests on their Xvfb screen at 96 and at 144 dots per inch and turned from
# BMP into PNG with netpbm.
set -euo pipefail
cd "$(dirname "$0")/.."

out=doc/screenshots
mkdir -p "$out"
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT

QT_QPA_PLATFORM=offscreen build/native/bin/kavlen-gallery --grab "$shots" >/dev/null
for name in main about reset; do cp "$shots/$name.png" "$out/kavlen-$name.png"; done

# at 96 dots per inch, then on a 150 % screen (144), named with -144
for scale in "" 144dpi_; do
  mkdir -p "$shots/$scale"
  KAVLEN_SHOTS="Z:$shots/$scale" ctest --test-dir build/mingw64 --output-on-failure \
    -R "^kavlen_wine_${scale}(window|download_verify)\$" >"$shots/ctest.log" ||
    { cat "$shots/ctest.log"; exit 1; }
  suffix=${scale:+-144}
  for name in kavlen-win32-main kavlen-win32-about kavlen-win32-reset; do
    [ -f "$shots/$scale/$name.bmp" ] || { echo "screenshots: no $scale$name.bmp"; exit 1; }
    bmptopnm "$shots/$scale/$name.bmp" 2>/dev/null | pnmtopng -compression 9 >"$out/$name$suffix.png"
  done
done
ls -l "$out"
