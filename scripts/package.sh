#!/usr/bin/env bash
# package.sh deb|windows|all: builds what the packages hold and writes them to
# build/packages, with SHA256SUMS beside them.
#   deb      kavlen_<version>_<arch>.deb: ukavlen, kavlen, kavlen-sim and
#            kavlen-bridge in /usr/bin, libkavlen.so.1 with its header and kavlen.pc, manual
#            pages, desktop entry and icon, README and licence; dependencies
#            computed from the programs and the library
#   windows  kavlen-<version>-windows-x86_64.zip and -i686.zip: ukavlen.exe,
#            kavlen.exe, kavlen-bridge.exe, README.txt, LICENSE.txt, and the
#            library kavlen.dll with include/kavlen/kavlen.h,
#            lib/libkavlen.dll.a and lib/kavlen.def; and the same files as
#            kavlen-<version>-windows-x86_64.msi and -i686.msi (wixl), which
#            install them into Program Files\kavlen
#   wheels   kavlen-<version>-py3-none-{linux_x86_64,win_amd64,win32}.whl: the
#            Python package with the library of its platform inside
#   all      all of them, into an emptied build/packages
# and, beside them, the winget and Scoop manifests of the zips. The Windows
# programs, libraries and installers are signed when scripts/sign.sh is given
# a key.
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

  * Release $1 of ukavlen, kavlen, kavlen-sim and kavlen-bridge.

 -- $maintainer  $(date -u -R -d "@$epoch")
CHANGELOG
}

make_deb() {
  scripts/build.sh native ukavlen kavlen kavlen-sim kavlen-bridge kavlen_library
  local version arch root deps multiarch
  version=$(version_of native)
  arch=$(dpkg --print-architecture)
  # dpkg-shlibdeps looks for the programs in a source tree's debian/<package>.
  root=$work/deb/debian/kavlen
  install -d "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$root/usr/share/doc/kavlen" \
    "$root/usr/share/applications" "$root/usr/share/icons/hicolor/scalable/apps" \
    "$root/usr/share/bash-completion/completions"
  for program in ukavlen kavlen kavlen-sim kavlen-bridge; do
    install -m 0755 "build/native/bin/$program" "$root/usr/bin/"
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root/usr/bin/$program"
  done
  for page in doc/*.1; do
    gzip -9n <"$page" >"$root/usr/share/man/man1/$(basename "$page").gz"
  done
  install -m 0644 packaging/kavlen.desktop "$root/usr/share/applications/"
  install -m 0644 packaging/bash-completion/ukavlen packaging/bash-completion/kavlen-sim \
    "$root/usr/share/bash-completion/completions/"
  install -m 0644 packaging/kavlen.svg "$root/usr/share/icons/hicolor/scalable/apps/"
  gzip -9n <README.md >"$root/usr/share/doc/kavlen/README.md.gz"
  debian_copyright >"$root/usr/share/doc/kavlen/copyright"
  # libkavlen: the shared library, its header and pkg-config file
  multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
  install -d "$root/usr/lib/$multiarch/pkgconfig" "$root/usr/include/kavlen" "$root/usr/share/lintian/overrides"
  install -m 0644 build/native/lib/libkavlen.so.1.0.0 "$root/usr/lib/$multiarch/"
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root/usr/lib/$multiarch/libkavlen.so.1.0.0"
  ln -s libkavlen.so.1.0.0 "$root/usr/lib/$multiarch/libkavlen.so.1"
  ln -s libkavlen.so.1 "$root/usr/lib/$multiarch/libkavlen.so"
  install -m 0644 build/native/lib/kavlen.pc "$root/usr/lib/$multiarch/pkgconfig/"
  install -m 0644 include/kavlen/kavlen.h "$root/usr/include/kavlen/"
  # one package holds programs, library and header alike
  printf '%s\n' 'kavlen: package-name-doesnt-match-sonames libkavlen1' \
    "kavlen: link-to-shared-library-in-wrong-package usr/lib/$multiarch/libkavlen.so.1.0.0 [usr/lib/$multiarch/libkavlen.so]" \
    >"$root/usr/share/lintian/overrides/kavlen"
  debian_changelog "$version" | gzip -9n >"$root/usr/share/doc/kavlen/changelog.gz"

  printf 'Source: kavlen\n\nPackage: kavlen\nArchitecture: any\n' >"$work/deb/debian/control"
  deps=$(cd "$work/deb" && dpkg-shlibdeps -O debian/kavlen/usr/bin/ukavlen debian/kavlen/usr/bin/kavlen \
           debian/kavlen/usr/bin/kavlen-sim debian/kavlen/usr/bin/kavlen-bridge "debian/kavlen/usr/lib/$multiarch/libkavlen.so.1.0.0" |
           sed -n 's/^shlibs:Depends=//p')

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
    pipelines without hardware;
  - kavlen-bridge, which serves this machine's emulators to the programs
    on other machines (CI runners, board farms);
  - libkavlen, the same jobs behind a C interface (kavlen/kavlen.h,
    pkg-config kavlen) for test rigs and scripts.
CONTROL
  (cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
  echo "libkavlen 1 kavlen (>= ${version%%+*})" >"$root/DEBIAN/shlibs"
  echo "activate-noawait ldconfig" >"$root/DEBIAN/triggers"
  chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums" "$root/DEBIAN/shlibs" "$root/DEBIAN/triggers"
  set_times "$root"
  mkdir -p "$out"
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/kavlen_${version}_${arch}.deb" >/dev/null
  echo "package: $out/kavlen_${version}_${arch}.deb"
}

make_windows_zip() {  # flavour arch triple
  local flavour=$1 arch=$2 triple=$3 version name dir exe
  scripts/build.sh "$flavour" ukavlen kavlen kavlen-bridge kavlen_library
  version=$(version_of "$flavour")
  windows_version=$version
  name=kavlen-$version-windows-$arch
  dir=$work/$name
  mkdir -p "$dir"
  for exe in ukavlen.exe kavlen.exe kavlen-bridge.exe; do
    install -m 0755 "build/$flavour/bin/$exe" "$dir/"
    "$triple-strip" "$dir/$exe"
  done
  install -m 0755 "build/$flavour/bin/kavlen.dll" "$dir/"
  "$triple-strip" --strip-unneeded "$dir/kavlen.dll"
  install -d "$dir/include/kavlen" "$dir/lib"
  install -m 0644 include/kavlen/kavlen.h "$dir/include/kavlen/"
  install -m 0644 "build/$flavour/lib/libkavlen.dll.a" lib/kavlen.def "$dir/lib/"
  scripts/sign.sh "$dir/ukavlen.exe" "$dir/kavlen.exe" "$dir/kavlen-bridge.exe" "$dir/kavlen.dll"
  # Windows users open these in Notepad: CRLF line ends.
  sed 's/$/\r/' packaging/README-windows.txt >"$dir/README.txt"
  sed 's/$/\r/' LICENSE >"$dir/LICENSE.txt"
  set_times "$dir"
  mkdir -p "$out"
  rm -f "$out/$name.zip"
  (cd "$work" && zip -X -q -r "$out/$name.zip" "$name")
  echo "package: $out/$name.zip"
  make_windows_msi "$dir" "$version" "$arch" "$out/$name.msi"
}

# An installer of the files in a folder; Windows Installer takes a version of
# numbers only, so a build between releases installs as its release.
make_windows_msi() {  # folder version arch msi
  local msi_arch=x64
  [ "$3" = x86_64 ] || msi_arch=x86
  # (wixl takes files only by relative paths: it runs beside the folder)
  cp gui/win32/kavlen.ico "$1.ico"
  (cd "$(dirname "$1")" && wixl -a "$msi_arch" -D Arch="$msi_arch" -D Version="${2%%[+-]*}" \
     -D SourceDir="$(basename "$1")" -D Icon="$(basename "$1").ico" -o "$4" "$OLDPWD/packaging/windows/kavlen.wxs")
  scripts/sign.sh "$4"
  echo "package: $4"
}

# The Python package with each platform's library inside; the linux one
# from the native build, the Windows ones from the cross builds.
make_wheels() {
  local version
  scripts/build.sh native kavlen_library
  version=$(version_of native)
  mkdir -p "$work/linux" "$work/win_amd64" "$work/win32"
  strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    -o "$work/linux/libkavlen.so.1" build/native/lib/libkavlen.so.1
  python3 python/make_wheel.py "$version" linux_x86_64 "$work/linux/libkavlen.so.1" "$out"
  scripts/build.sh mingw64 kavlen_library
  x86_64-w64-mingw32-strip --strip-unneeded -o "$work/win_amd64/kavlen.dll" build/mingw64/bin/kavlen.dll
  python3 python/make_wheel.py "$version" win_amd64 "$work/win_amd64/kavlen.dll" "$out"
  scripts/build.sh mingw32 kavlen_library
  i686-w64-mingw32-strip --strip-unneeded -o "$work/win32/kavlen.dll" build/mingw32/bin/kavlen.dll
  python3 python/make_wheel.py "$version" win32 "$work/win32/kavlen.dll" "$out"
}

write_checksums() {
  (cd "$out" && shopt -s nullglob && files=(*.deb *.zip *.msi *.whl) && sha256sum -- "${files[@]}" >SHA256SUMS)
  echo "checksums: $out/SHA256SUMS"
}

# The winget and Scoop manifests of the zips, from SHA256SUMS: winget's three
# files in winget/kavlen.kavlen/<version>/, Scoop's scoop/kavlen.json. The
# zips are looked for at $KAVLEN_RELEASE_URL/v<version>/.
release_url=${KAVLEN_RELEASE_URL:-https://kavlen.example.org/releases}
windows_version=""
sha256_of() { awk -v f="$1" '$2 == f || $2 == "*" f { print $1 }' "$out/SHA256SUMS"; }
write_manifests() {  # version
  local version=$1 name64 name32 dir id=kavlen.kavlen
  name64=kavlen-$version-windows-x86_64 name32=kavlen-$version-windows-i686
  dir=$out/winget/$id/$version
  mkdir -p "$dir" "$out/scoop"
  cat >"$dir/$id.yaml" <<YAML
PackageIdentifier: $id
PackageVersion: $version
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.6.0
YAML
  cat >"$dir/$id.locale.en-US.yaml" <<YAML
PackageIdentifier: $id
PackageVersion: $version
PackageLocale: en-US
Publisher: kavlen developers
PackageName: kavlen
PackageUrl: https://kavlen.example.org
License: MIT
ShortDescription: Host programs of a USB ROM emulator
Description: ukavlen downloads a ROM image into a USB ROM emulator, reads it back to verify it and resets the target board; kavlen does the same in a window.
Tags: [embedded, rom, emulator, firmware]
ManifestType: defaultLocale
ManifestVersion: 1.6.0
YAML
  cat >"$dir/$id.installer.yaml" <<YAML
PackageIdentifier: $id
PackageVersion: $version
InstallerType: zip
NestedInstallerType: portable
Installers:
  - Architecture: x64
    InstallerUrl: $release_url/v$version/$name64.zip
    InstallerSha256: $(sha256_of "$name64.zip" | tr a-f A-F)
    NestedInstallerFiles:
      - RelativeFilePath: $name64\ukavlen.exe
        PortableCommandAlias: ukavlen
      - RelativeFilePath: $name64\kavlen.exe
        PortableCommandAlias: kavlen
  - Architecture: x86
    InstallerUrl: $release_url/v$version/$name32.zip
    InstallerSha256: $(sha256_of "$name32.zip" | tr a-f A-F)
    NestedInstallerFiles:
      - RelativeFilePath: $name32\ukavlen.exe
        PortableCommandAlias: ukavlen
      - RelativeFilePath: $name32\kavlen.exe
        PortableCommandAlias: kavlen
ManifestType: installer
ManifestVersion: 1.6.0
YAML
  # Scoop keeps kavlen.ini across updates; the maker's TPROMOS.USB goes
  # to %APPDATA%\kavlen (an empty persisted one would be loaded).
  cat >"$out/scoop/kavlen.json" <<JSON
{
  "version": "$version",
  "description": "Host programs of a USB ROM emulator: download, verify, reset",
  "homepage": "https://kavlen.example.org",
  "license": "MIT",
  "architecture": {
    "64bit": {
      "url": "$release_url/v$version/$name64.zip",
      "hash": "$(sha256_of "$name64.zip")",
      "extract_dir": "$name64"
    },
    "32bit": {
      "url": "$release_url/v$version/$name32.zip",
      "hash": "$(sha256_of "$name32.zip")",
      "extract_dir": "$name32"
    }
  },
  "bin": ["ukavlen.exe", "kavlen.exe"],
  "shortcuts": [["kavlen.exe", "kavlen"]],
  "persist": "kavlen.ini",
  "notes": "Put the emulator maker's TPROMOS.USB in %APPDATA%\\\\kavlen.",
  "checkver": {
    "url": "$release_url/latest/SHA256SUMS",
    "regex": "kavlen-([\\\\d.]+)-windows-x86_64\\\\.zip"
  },
  "autoupdate": {
    "architecture": {
      "64bit": {
        "url": "$release_url/v\$version/kavlen-\$version-windows-x86_64.zip",
        "extract_dir": "kavlen-\$version-windows-x86_64"
      },
      "32bit": {
        "url": "$release_url/v\$version/kavlen-\$version-windows-i686.zip",
        "extract_dir": "kavlen-\$version-windows-i686"
      }
    },
    "hash": { "url": "\$baseurl/SHA256SUMS" }
  }
}
JSON
  echo "manifests: $dir, $out/scoop/kavlen.json"
}

case "${1:-}" in
  deb) make_deb ;;
  windows)
    make_windows_zip mingw64 x86_64 x86_64-w64-mingw32
    make_windows_zip mingw32 i686 i686-w64-mingw32 ;;
  wheels) make_wheels ;;
  all)
    rm -rf "$out"
    make_deb
    make_windows_zip mingw64 x86_64 x86_64-w64-mingw32
    make_windows_zip mingw32 i686 i686-w64-mingw32
    make_wheels ;;
  *)
    echo "usage: $0 deb|windows|wheels|all" >&2
    exit 2 ;;
esac
write_checksums
[ -z "${windows_version:-}" ] || write_manifests "$windows_version"
