#!/usr/bin/env python3
"""make_wheel.py VERSION PLATFORM LIBRARY OUTDIR: writes the wheel
kavlen-VERSION-py3-none-PLATFORM.whl with the package beside this script
and LIBRARY (libkavlen.so.1 or kavlen.dll) inside it. The standard library
is all it needs, so wheels are made offline; entries carry the time in
SOURCE_DATE_EPOCH, so the same inputs give the same wheel."""

import base64
import hashlib
import os
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def digest(data: bytes) -> str:
    return "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def main() -> int:
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    version, platform, library, outdir = sys.argv[1:]
    stamp = time.gmtime(int(os.environ.get("SOURCE_DATE_EPOCH", "315532800")))[:6]
    dist = f"kavlen-{version}.dist-info"
    with open(os.path.join(HERE, "README.md"), encoding="utf-8") as f:
        description = f.read()
    files = {}
    for name in sorted(os.listdir(os.path.join(HERE, "kavlen"))):
        if name.endswith(".py"):
            with open(os.path.join(HERE, "kavlen", name), "rb") as f:
                files[f"kavlen/{name}"] = f.read()
    with open(library, "rb") as f:
        files["kavlen/" + os.path.basename(library)] = f.read()
    files[f"{dist}/METADATA"] = (
        "Metadata-Version: 2.1\nName: kavlen\n"
        f"Version: {version}\n"
        "Summary: Drive the USB ROM emulator from Python: download, verify, read and reset\n"
        "License: MIT\nRequires-Python: >=3.8\n"
        "Description-Content-Type: text/markdown\n\n" + description).encode()
    files[f"{dist}/WHEEL"] = (
        "Wheel-Version: 1.0\nGenerator: kavlen make_wheel.py\nRoot-Is-Purelib: false\n"
        f"Tag: py3-none-{platform}\n").encode()
    record = "".join(f"{name},{digest(data)},{len(data)}\n" for name, data in files.items())
    files[f"{dist}/RECORD"] = (record + f"{dist}/RECORD,,\n").encode()

    os.makedirs(outdir, exist_ok=True)
    wheel = os.path.join(outdir, f"kavlen-{version}-py3-none-{platform}.whl")
    with zipfile.ZipFile(wheel, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            entry = zipfile.ZipInfo(name, stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = (0o755 if name.endswith((".so.1", ".dll")) else 0o644) << 16
            z.writestr(entry, data)
    print(f"wheel: {wheel}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
