#!/usr/bin/env bash
# Rewrites gui/win32/kavlen_dialogs.rc from the dialog template table after
# a change to gui/dialog_templates.cpp (a native test fails until then).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/native/build.ninja ] || scripts/build.sh native
ninja -C build/native make-dialogs-rc
build/native/bin/make-dialogs-rc gui/win32/kavlen_dialogs.rc
