#!/usr/bin/env bash
# check-packages.sh: checks the packages scripts/package.sh wrote to
# build/packages the way their users meet them. Lints the manual pages and
# the desktop entry, verifies SHA256SUMS, runs lintian on the Debian package,
# installs it (apt-get, root or sudo), runs ukavlen -? and a download against
# kavlen-sim from /usr/bin, removes it again, unpacks the Windows zips and
# runs ukavlen.exe from each under wine, signs copies with a certificate of
# its own (scripts/sign.sh) and verifies them, checks the winget and Scoop
# manifests (scripts/check-manifests.py), and the Windows installers
# (scripts/check-msi.sh: their tables, and install, use, upgrade and removal
# under wine).
# A kavlen package installed before the check is removed at its end.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
packages=$src/build/packages
expect=$src/tests/windows/expect-output.sh
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

passed=0
pass() { echo "ok - $1"; passed=$((passed + 1)); }
fail() { echo "FAILED - $1"; exit 1; }

work=$(mktemp -d)
sim_pid=""
installed=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  if [ -n "$installed" ]; then
    $SUDO apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=300 kavlen >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- sources of what the packages hold
lint=$( (mandoc -T lint -W warning doc/*.1; for page in doc/*.1; do groff -ww -man -z "$page"; done) 2>&1) ||
  fail "manual pages: $lint"
[ -z "$lint" ] || fail "manual pages: $lint"
pass "manual pages: mandoc -T lint and groff -ww say nothing"
desktop-file-validate packaging/kavlen.desktop || fail "desktop entry"
pass "desktop entry valid"

# --- checksums
(cd "$packages" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS"
pass "SHA256SUMS matches every package"

# --- Debian package
debs=("$packages"/kavlen_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "one Debian package expected in $packages"
deb=${debs[0]}
# Accepted (informational only): hardening-no-bindnow and
# hardening-no-fortify-functions (built with the project's own flags, not
# dpkg-buildflags), spelling-error-in-binary "Orginal" (a field caption the
# program must show as it is).
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt"; fail "lintian"; }
pass "lintian: no error, no warning"

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb" \
  >"$work/apt.txt" 2>&1 || { cat "$work/apt.txt"; fail "apt-get install $deb"; }
installed=1
version=$(dpkg-query -W -f='${Version}' kavlen)
pass "installed with apt-get: kavlen $version"

for program in ukavlen kavlen kavlen-sim kavlen-bridge; do
  [ -x "/usr/bin/$program" ] || fail "/usr/bin/$program missing"
  [ "$(man -w "$program")" = "/usr/share/man/man1/$program.1.gz" ] || fail "man page of $program"
done
pass "programs in /usr/bin, each with its manual page"
[ "$(/usr/bin/kavlen-sim --version)" = "kavlen-sim $version" ] || fail "kavlen-sim --version"
pass "kavlen-sim --version names the package's version"

# libkavlen as a C program of a rig meets it: header, pkg-config, library
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$(readlink "/usr/lib/$multiarch/libkavlen.so.1")" = libkavlen.so.1.0.0 ] || fail "libkavlen.so.1 link"
[ "$(pkg-config --modversion kavlen)" = "${version%%+*}" ] || fail "pkg-config kavlen"
tests/lib/check-exports.sh "/usr/lib/$multiarch/libkavlen.so.1" >/dev/null || fail "exports of the installed libkavlen"
printf '#include <stdio.h>\n#include <kavlen/kavlen.h>\nint main(void) { printf("%%s %%d\\n", kv_version(), kv_api_version()); return 0; }\n' >"$work/rig.c"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror -o "$work/rig" "$work/rig.c" $(pkg-config --cflags --libs kavlen) || fail "a C program against kavlen.pc"
[ "$("$work/rig")" = "$version 1" ] || fail "kv_version and kv_api_version of the installed libkavlen"
pass "libkavlen.so.1: a C program built with pkg-config kavlen runs; only the kv_* calls exported"

"$expect" tests/packages/usage.txt 1 /usr/bin/ukavlen -? >/dev/null || fail "/usr/bin/ukavlen -?"
pass "/usr/bin/ukavlen -? prints the usage text, exit status 1"

# A download into a simulated emulator in its boot code: the device OS comes
# from the user's config folder, as for an installed program.
export KAVLEN_DEVICE_DIR=$work/devices XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/kavlen"
printf 'device OS of the package check' >"$XDG_CONFIG_HOME/kavlen/TPROMOS.USB"
# (through a file: head closing the pipe early would fail the script under pipefail)
seq 1 20000 >"$work/numbers.txt"
head -c 102400 "$work/numbers.txt" >"$work/sample.bin"
/usr/bin/kavlen-sim --state boot --log "$work/sim.log" --dump "$work/dump.bin" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do grep -q '^listening on' "$work/sim.out" && break; sleep 0.05; done
grep -q '^listening on' "$work/sim.out" || fail "kavlen-sim did not start: $(cat "$work/sim.out")"
status=0
(cd "$work" && /usr/bin/ukavlen -d sample.bin -v >ukavlen.out) || status=$?
[ "$status" -eq 0 ] || { cat "$work/ukavlen.out"; fail "download exit status $status"; }
{ cat "$work/sample.bin"; head -c $((131072 - 102400)) /dev/zero; } | cmp - "$work/dump.bin" ||
  fail "the emulator does not hold the image"
os_hex=$(od -An -v -tx1 "$XDG_CONFIG_HOME/kavlen/TPROMOS.USB" | tr -d ' \n')
grep -q "\"ioctl\":\"LOAD_DEVICE_OS\",\"in\":\"$os_hex\"" "$work/sim.log" || fail "device OS not loaded from the config folder"
pass "/usr/bin/ukavlen -d -v into /usr/bin/kavlen-sim: device OS from the config folder, image downloaded and verified"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
unset KAVLEN_DEVICE_DIR XDG_CONFIG_HOME

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=300 kavlen \
  >"$work/apt.txt" 2>&1 || { cat "$work/apt.txt"; fail "apt-get remove"; }
installed=""
for program in ukavlen kavlen kavlen-sim kavlen-bridge; do [ ! -e "/usr/bin/$program" ] || fail "/usr/bin/$program left behind"; done
pass "removed again"

# --- Windows zips
for arch in x86_64 i686; do
  name=kavlen-$version-windows-$arch
  zip=$packages/$name.zip
  [ -f "$zip" ] || fail "$zip missing"
  unzip -q "$zip" -d "$work/$arch"
  dir=$work/$arch/$name
  listed=$(cd "$work/$arch" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
  [ "$listed" = "./$name/LICENSE.txt ./$name/README.txt ./$name/include/kavlen/kavlen.h ./$name/kavlen-bridge.exe ./$name/kavlen.dll ./$name/kavlen.exe ./$name/lib/kavlen.def ./$name/lib/libkavlen.dll.a ./$name/ukavlen.exe " ] ||
    fail "$name.zip holds: $listed"
  triple=$arch-w64-mingw32
  OBJDUMP=$triple-objdump tests/lib/check-exports.sh "$dir/kavlen.dll" >/dev/null || fail "kavlen.dll of $arch: exports or imports"
  for text in README.txt LICENSE.txt; do
    [ "$(grep -c $'\r$' "$dir/$text")" -eq "$(wc -l <"$dir/$text")" ] || fail "$text of $arch: not CRLF throughout"
  done
  for exe in ukavlen.exe kavlen.exe kavlen-bridge.exe; do
    [ "$(strings -e l "$dir/$exe" | grep -A1 -x FileVersion | tail -n 1)" = "$version" ] ||
      fail "version resource of $arch $exe"
  done
  pass "$name.zip: ukavlen.exe, kavlen.exe and kavlen-bridge.exe with version resource $version, README.txt and LICENSE.txt with CRLF, kavlen.dll exporting only the kv_* calls"
done

# ukavlen.exe from each unpacked zip under wine: its usage text, "not
# attached" with no emulator, then a download with verify into a simulated
# emulator reached over loopback TCP.
# the prefix scripts/wine-run.sh uses, so that its server can be waited for
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/kavlen-wine}"
for arch in x86_64 i686; do
  exe=$work/$arch/kavlen-$version-windows-$arch/ukavlen.exe
  "$expect" tests/packages/usage.txt 1 scripts/wine-run.sh "$exe" -? >/dev/null || fail "$arch ukavlen.exe -? under wine"
  "$expect" tests/windows/no-device-u.txt 1 scripts/wine-run.sh "$exe" -u >/dev/null || fail "$arch ukavlen.exe -u under wine"
  export KAVLEN_DEVICE_DIR=$work/devices-$arch
  build/native/bin/kavlen-sim --state os --tcp --dump "$work/dump-$arch.bin" >"$work/sim-$arch.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 200); do grep -q '^listening on' "$work/sim-$arch.out" && break; sleep 0.05; done
  grep -q '^listening on' "$work/sim-$arch.out" || fail "kavlen-sim --tcp did not start: $(cat "$work/sim-$arch.out")"
  status=0
  (cd "$work" && "$src/scripts/wine-run.sh" "$exe" -d sample.bin -v >"ukavlen-$arch.out") || status=$?
  [ "$status" -eq 0 ] || { cat "$work/ukavlen-$arch.out"; fail "$arch ukavlen.exe download exit status $status"; }
  grep -q $'^Verify OK !!\r$' "$work/ukavlen-$arch.out" || fail "$arch ukavlen.exe did not say Verify OK !!"
  { cat "$work/sample.bin"; head -c $((131072 - 102400)) /dev/zero; } | cmp - "$work/dump-$arch.bin" ||
    fail "the emulator does not hold the image the $arch ukavlen.exe sent"
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
  unset KAVLEN_DEVICE_DIR
  "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -w
  pass "ukavlen.exe from the $arch zip under wine: -? and -u answer with exit status 1; -d -v into kavlen-sim --tcp exits 0 and the emulator holds the image"
done

# --- Python wheels: each holds the package and its platform's library; the
# Linux one, installed in a fresh virtual environment, passes its tests
for platform in linux_x86_64:libkavlen.so.1 win_amd64:kavlen.dll win32:kavlen.dll; do
  wheel=$packages/kavlen-$version-py3-none-${platform%%:*}.whl
  [ -f "$wheel" ] || fail "$wheel missing"
  listed=$(unzip -Z1 "$wheel" | LC_ALL=C sort | tr '\n' ' ')
  dist=kavlen-$version.dist-info
  [ "$listed" = "$dist/METADATA $dist/RECORD $dist/WHEEL kavlen/__init__.py kavlen/_native.py kavlen/${platform#*:} " ] ||
    fail "$(basename "$wheel") holds: $listed"
  unzip -p "$wheel" "$dist/WHEEL" | grep -qx "Tag: py3-none-${platform%%:*}" || fail "tag of $(basename "$wheel")"
done
python/run-tests.sh build/native/bin/kavlen-sim "$packages/kavlen-$version-py3-none-linux_x86_64.whl" \
  >"$work/pytest.txt" 2>&1 || { cat "$work/pytest.txt"; fail "the Linux wheel's tests"; }
pass "wheels for linux_x86_64, win_amd64 and win32; the Linux one passes its tests in a fresh virtual environment"

# --- signing, with a certificate made for this run: scripts/sign.sh leaves
# the files alone without a key and signs them with one, and the signed
# ukavlen.exe still runs
mkdir "$work/sign"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign/key.pem" -out "$work/sign/cert.pem" -days 1 \
  -subj "/CN=kavlen package check" -addext extendedKeyUsage=codeSigning >"$work/sign/openssl.txt" 2>&1 ||
  { cat "$work/sign/openssl.txt"; fail "openssl: no certificate"; }
openssl pkcs12 -export -inkey "$work/sign/key.pem" -in "$work/sign/cert.pem" -out "$work/sign/key.p12" \
  -passout pass:check || fail "openssl: no PKCS#12 file"
name=kavlen-$version-windows-x86_64
signed=("$work/sign/ukavlen.exe" "$work/sign/kavlen.exe" "$work/sign/$name.msi")
cp "$work/x86_64/$name/ukavlen.exe" "$work/x86_64/$name/kavlen.exe" "$packages/$name.msi" "$work/sign/"
scripts/sign.sh "${signed[@]}" || fail "sign.sh without a key"
cmp -s "$work/sign/ukavlen.exe" "$work/x86_64/$name/ukavlen.exe" && cmp -s "$work/sign/$name.msi" "$packages/$name.msi" ||
  fail "sign.sh without a key changed a file"
KAVLEN_SIGN_PKCS12=$work/sign/key.p12 KAVLEN_SIGN_PASSWORD=check scripts/sign.sh "${signed[@]}" >/dev/null ||
  fail "sign.sh with a key"
for file in "${signed[@]}"; do
  osslsigncode verify -CAfile "$work/sign/cert.pem" -in "$file" >"$work/sign/verify.txt" 2>&1 ||
    { cat "$work/sign/verify.txt"; fail "osslsigncode verify $(basename "$file")"; }
done
"$expect" tests/packages/usage.txt 1 scripts/wine-run.sh "$work/sign/ukavlen.exe" -? >/dev/null ||
  fail "signed ukavlen.exe -? under wine"
"$(command -v wineserver || echo /usr/lib/wine/wineserver)" -w
pass "sign.sh: nothing without a key; with one, ukavlen.exe, kavlen.exe and the MSI pass osslsigncode verify, and the signed ukavlen.exe runs"

# --- winget and Scoop manifests
scripts/check-manifests.py "$packages" >"$work/check-manifests.txt" 2>&1 ||
  { cat "$work/check-manifests.txt"; fail "package manager manifests"; }
cat "$work/check-manifests.txt"
passed=$((passed + $(sed -n 's/^manifest checks: \([0-9]*\) passed, 0 failed$/\1/p' "$work/check-manifests.txt")))

# --- Windows installers
"$src/scripts/check-msi.sh" >"$work/check-msi.txt" 2>&1 || { cat "$work/check-msi.txt"; fail "Windows installers"; }
cat "$work/check-msi.txt"
passed=$((passed + $(sed -n 's/^msi checks: \([0-9]*\) passed, 0 failed$/\1/p' "$work/check-msi.txt")))

echo "package checks: $passed passed, 0 failed"
