#!/usr/bin/env bash
# package.sh deb|windows|all: builds what the packages hold and writes them to
# build/packages, with SHA256SUMS beside them.
#   deb      kavlen_<version>_<arch>.deb: ukavlen, kavlen and kavlen-sim in
#            /usr/bin, manual pages, desktop entry and icon, README and
#            licence; dependencies computed from the programs
#   windows  kavlen-<version>-windows-x86_64.zip and -i686.zip: ukavlen.exe,
#            kavlen.exe, README.txt, LICENSE.txt
#   all      both, into an emptied build/packages
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022

out=$PWD/build/packages
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Files in the packages carry the time of the commit they were built from.
epoch=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH=$epoch
maintainer="kavlen developers <kavlen-devel@example.org>"

version_of() {  # the version a build flavour was made with
  sed -n 's/^#define KAVLEN_VERSION "\(.*\)"$/\1/p' "build/$1/version/generated/kavlen_version.h"
}

set_times() { find "$1" -exec touch -h -d "@$epoch" {} +; }

debian_copyright() {
  cat <<COPYRIGHT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: kavlen

Files: *
Copyright: 2026 The kavlen developers
License: Expat

License: Expat
COPYRIGHT
  # the licence text without its title and copyright lines, blank lines as " ."
  tail -n +5 LICENSE | sed 's/^$/./; s/^/ /'
}

debian_changelog() {
  cat <<CHANGELOG
kavlen ($1) unstable; urgency=medium

  * Release $1 of ukavlen, kavlen and kavlen-sim.

 -- $maintainer  $(date -u -R -d "@$epoch")
CHANGELOG
}

make_deb() {
  scripts/build.sh native ukavlen kavlen kavlen-sim
  local version arch root deps
  version=$(version_of native)
  arch=$(dpkg --print-architecture)
  # dpkg-shlibdeps looks for the programs in a source tree's debian/<package>.
  root=$work/deb/debian/kavlen
  install -d "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$root/usr/share/doc/kavlen" \
    "$root/usr/share/applications" "$root/usr/share/icons/hicolor/scalable/apps"
  for program in ukavlen kavlen kavlen-sim; do
    install -m 0755 "build/native/bin/$program" "$root/usr/bin/"
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root/usr/bin/$program"
  done
  for page in doc/*.1; do
    gzip -9n <"$page" >"$root/usr/share/man/man1/$(basename "$page").gz"
  done
  install -m 0644 packaging/kavlen.desktop "$root/usr/share/applications/"
  install -m 0644 packaging/kavlen.svg "$root/usr/share/icons/hicolor/scalable/apps/"
  gzip -9n <README.md >"$root/usr/share/doc/kavlen/README.md.gz"
  debian_copyright >"$root/usr/share/doc/kavlen/copyright"
  debian_changelog "$version" | gzip -9n >"$root/usr/share/doc/kavlen/changelog.gz"

  printf 'Source: kavlen\n\nPackage: kavlen\nArchitecture: any\n' >"$work/deb/debian/control"
  deps=$(cd "$work/deb" && dpkg-shlibdeps -O debian/kavlen/usr/bin/ukavlen debian/kavlen/usr/bin/kavlen \
           debian/kavlen/usr/bin/kavlen-sim | sed -n 's/^shlibs:Depends=//p')

  cat >"$root/DEBIAN/control" <<CONTROL
Package: kavlen
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $deps
Section: electronics
Priority: optional
Description: host software for a USB ROM emulator
 A USB ROM emulator stands in for a ROM chip on a target board. This
 package holds its host programs:
  - ukavlen, a command-line tool that downloads a ROM image (binary,
    Intel HEX or S-records) into the emulator, verifies it by reading it
    back, and resets the target;
  - kavlen, a one-window desktop program doing the same;
  - kavlen-sim, a simulator of the emulator for tests, demos and build
    pipelines without hardware.
CONTROL
  (cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
  chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  set_times "$root"
  mkdir -p "$out"
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/kavlen_${version}_${arch}.deb" >/dev/null
  echo "package: $out/kavlen_${version}_${arch}.deb"
}

make_windows_zip() {  # flavour arch triple
  local flavour=$1 arch=$2 triple=$3 version name dir exe
  scripts/build.sh "$flavour" ukavlen kavlen
  version=$(version_of "$flavour")
  name=kavlen-$version-windows-$arch
  dir=$work/$name
  mkdir -p "$dir"
  for exe in ukavlen.exe kavlen.exe; do
    install -m 0755 "build/$flavour/bin/$exe" "$dir/"
    "$triple-strip" "$dir/$exe"
  done
  # Windows users open these in Notepad: CRLF line ends.
  sed 's/$/\r/' packaging/README-windows.txt >"$dir/README.txt"
  sed 's/$/\r/' LICENSE >"$dir/LICENSE.txt"
  set_times "$dir"
  mkdir -p "$out"
  rm -f "$out/$name.zip"
  (cd "$work" && zip -X -q -r "$out/$name.zip" "$name")
  echo "package: $out/$name.zip"
}

write_checksums() {
  (cd "$out" && shopt -s nullglob && files=(*.deb *.zip) && sha256sum -- "${files[@]}" >SHA256SUMS)
  echo "checksums: $out/SHA256SUMS"
}

case "${1:-}" in
  deb) make_deb ;;
  windows)
    make_windows_zip mingw64 x86_64 x86_64-w64-mingw32
    make_windows_zip mingw32 i686 i686-w64-mingw32 ;;
  all)
    rm -rf "$out"
    make_deb
    make_windows_zip mingw64 x86_64 x86_64-w64-mingw32
    make_windows_zip mingw32 i686 i686-w64-mingw32 ;;
  *)
    echo "usage: $0 deb|windows|all" >&2
    exit 2 ;;
esac
write_checksums
