#!/usr/bin/env python3
"""check-manifests.py [PACKAGES]: checks the winget and Scoop manifests that
scripts/package.sh wrote beside the Windows zips (default build/packages):
the fields each package manager requires, and that every address, checksum,
folder and program they name matches the zips and SHA256SUMS."""

import json
import re
import sys
import zipfile
from pathlib import Path

import yaml

packages = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "build/packages")
passed = 0


def fail(text):
    print(f"FAILED - {text}")
    sys.exit(1)


def check(condition, text):
    if not condition:
        fail(text)


def ok(text):
    global passed
    print(f"ok - {text}")
    passed += 1


sums = {}
for line in (packages / "SHA256SUMS").read_text().splitlines():
    digest, name = line.split(maxsplit=1)
    sums[name.lstrip("*")] = digest
zips = {arch: name for name in sums for arch in ("x86_64", "i686") if name.endswith(f"-windows-{arch}.zip")}
check(set(zips) == {"x86_64", "i686"}, f"SHA256SUMS names both Windows zips: {sorted(sums)}")
version = re.fullmatch(r"kavlen-(.*)-windows-x86_64\.zip", zips["x86_64"]).group(1)


def zip_files(name):
    with zipfile.ZipFile(packages / name) as archive:
        return set(archive.namelist())


def check_download(where, url, digest, name):
    check(url.startswith("https://") and url.endswith("/" + name), f"{where}: address {url} of {name}")
    check(digest.lower() == sums[name], f"{where}: checksum of {name} is not SHA256SUMS'")


# --- winget: a version, a default-locale and an installer manifest
identifier = "kavlen.kavlen"
folder = packages / "winget" / identifier / version
kinds = {"version": f"{identifier}.yaml", "defaultLocale": f"{identifier}.locale.en-US.yaml",
         "installer": f"{identifier}.installer.yaml"}
manifests = {}
for kind, file in kinds.items():
    path = folder / file
    check(path.is_file(), f"winget: {path} missing")
    manifest = yaml.safe_load(path.read_text())
    for key, value in (("PackageIdentifier", identifier), ("PackageVersion", version), ("ManifestType", kind)):
        check(manifest.get(key) == value, f"winget {file}: {key} is {manifest.get(key)!r}, not {value!r}")
    check(re.fullmatch(r"\d+\.\d+\.\d+", str(manifest.get("ManifestVersion", ""))), f"winget {file}: ManifestVersion")
    manifests[kind] = manifest
locale = manifests["defaultLocale"]
check(locale.get("PackageLocale") == manifests["version"].get("DefaultLocale"), "winget: locale is not the default")
for key in ("Publisher", "PackageName", "License", "ShortDescription"):
    check(str(locale.get(key, "")).strip(), f"winget locale: {key} missing")
installer = manifests["installer"]
check(installer.get("InstallerType") == "zip" and installer.get("NestedInstallerType") == "portable",
      "winget: not a zip of portable programs")
architectures = {"x64": zips["x86_64"], "x86": zips["i686"]}
entries = installer.get("Installers") or []
check(sorted(e.get("Architecture") for e in entries) == sorted(architectures), "winget: one installer per architecture")
for entry in entries:
    name = architectures[entry["Architecture"]]
    check_download(f"winget {entry['Architecture']}", entry.get("InstallerUrl", ""), entry.get("InstallerSha256", ""), name)
    check(re.fullmatch(r"[0-9A-F]{64}", entry["InstallerSha256"]), "winget: InstallerSha256 not 64 hex digits")
    nested = entry.get("NestedInstallerFiles") or installer.get("NestedInstallerFiles") or []
    aliases = {}
    for program in nested:
        path = program["RelativeFilePath"].replace("\\", "/")
        check(path in zip_files(name), f"winget {entry['Architecture']}: {path} not in {name}")
        aliases[path.rsplit("/", 1)[-1]] = program.get("PortableCommandAlias")
    check(aliases.get("ukavlen.exe") == "ukavlen", f"winget {entry['Architecture']}: ukavlen.exe without its alias")
ok(f"winget manifests of {version}: version, locale and installer fields; both zips' addresses, checksums and programs")

# --- Scoop
scoop = json.loads((packages / "scoop" / "kavlen.json").read_text())
check(scoop.get("version") == version, "scoop: version")
for key in ("description", "homepage", "license", "bin", "checkver", "autoupdate"):
    check(scoop.get(key), f"scoop: {key} missing")
for bits, arch in (("64bit", "x86_64"), ("32bit", "i686")):
    entry = scoop.get("architecture", {}).get(bits, {})
    check_download(f"scoop {bits}", entry.get("url", ""), entry.get("hash", ""), zips[arch])
    files = zip_files(zips[arch])
    for program in scoop["bin"]:
        check(f"{entry.get('extract_dir')}/{program}" in files, f"scoop {bits}: {program} not in {zips[arch]}")
    update = scoop["autoupdate"].get("architecture", {}).get(bits, {})
    check("$version" in update.get("url", ""), f"scoop autoupdate {bits}: no $version in the address")
check("ukavlen.exe" in scoop["bin"], "scoop: ukavlen.exe not on the path")
check(scoop["checkver"].get("regex") and (scoop["checkver"].get("url") or scoop["checkver"].get("github")),
      "scoop: checkver without address and pattern")
check(scoop["autoupdate"].get("hash"), "scoop: autoupdate without a checksum")
ok(f"scoop manifest of {version}: bin, hash, checkver, autoupdate; both zips' addresses, checksums and programs")

print(f"manifest checks: {passed} passed, 0 failed")
