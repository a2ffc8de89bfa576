#!/usr/bin/env bash
# install-deps.sh [programs]: installs every Debian package the project needs
# to build, test and cross-build; with "programs", only what the native
# ukavlen and kavlen-sim need (scripts/demo.sh). Idempotent: packages
# already present are left alone.
set -euo pipefail

# ukavlen and kavlen-sim (git names the commit in the version)
programs=(build-essential cmake ninja-build git)
packages=(
  "${programs[@]}"
  # native tests
  pkg-config libgtest-dev libgmock-dev
  # sanitizer build, and the fuzz targets (libFuzzer's runtime is in libclang-rt-14-dev)
  clang-14 libclang-rt-14-dev
  # desktop program
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  xvfb xauth
  # Windows cross builds and their smoke test
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64
  # the 32-bit Windows programs under wine: its i386 loader, and the X
  # extensions the 64-bit side has through Qt, so both draw alike
  wine32:i386 libxrender1:i386 libxcursor1:i386 libxi6:i386 libxrandr2:i386
  libxinerama1:i386 libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386
  # the Python package's tests, from its wheel in a fresh virtual environment
  python3-venv python3-pytest
  # the labgrid driver in contrib/labgrid, through labgrid's pytest plugin,
  # and the LAVA jobs in contrib/lava, through lava-run (about a minute to install)
  python3-labgrid lava-dispatcher
  # release packages (scripts/package.sh) and their checks
  dpkg-dev zip unzip lintian mandoc groff-base man-db desktop-file-utils
  # the Windows installers: wixl builds them, msiinfo (msitools) reads them
  wixl msitools
  # scripts/sign.sh, and the package check's certificate for it
  osslsigncode openssl
  # scripts/check-manifests.py: the winget (YAML) and Scoop (JSON) manifests
  python3 python3-yaml
  # kavlen.exe's window tests: Tahoma and Marlett for wine (xvfb is above)
  fonts-wine
  # scripts/screenshots.sh: the Windows screenshots from BMP to PNG
  netpbm
)

case "${1:-}" in
  "") ;;
  programs) packages=("${programs[@]}") ;;
  *) echo "usage: $0 [programs]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# i386 packages come from Debian's own archive once dpkg takes that architecture
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
