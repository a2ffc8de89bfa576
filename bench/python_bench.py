#!/usr/bin/env python3
"""python_bench.py [REPETITIONS]: a 4 MB download with verify through the
Python package beside `ukavlen -d <4 MB image> -v`, alternately, against one
simulator in one run. Prints the medians and their ratios:
  - the Python program as a rig runs it: a fresh interpreter that imports
    kavlen, opens, downloads with verify and exits;
  - the same call in an interpreter already running (kavlen.open to close).
Run from a checkout after scripts/build.sh native; the package comes from
python/ and the library from build/native/lib (KAVLEN_LIBRARY overrides)."""

import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "build", "native", "bin")
RUN = """
import sys, kavlen
with kavlen.open(lock_wait=0) as emu:
    emu.download(kavlen.load(sys.argv[1]), verify=True)
"""


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def main() -> int:
    repetitions = max(5, int(sys.argv[1]) if len(sys.argv) > 1 else 7)
    os.environ.setdefault("KAVLEN_LIBRARY", os.path.join(ROOT, "build", "native", "lib", "libkavlen.so.1"))
    os.environ["PYTHONPATH"] = os.path.join(ROOT, "python")
    sys.path.insert(0, os.environ["PYTHONPATH"])
    import kavlen

    with tempfile.TemporaryDirectory() as work:
        devices = os.path.join(work, "devices")
        os.mkdir(devices, 0o700)
        os.environ["KAVLEN_DEVICE_DIR"] = devices
        image = os.path.join(work, "image.bin")
        with open(image, "wb") as f:
            f.write(bytes((i * 7 + i // 251) & 0xFF for i in range(4 * 1024 * 1024)))
        sim = subprocess.Popen([os.path.join(BIN, "kavlen-sim"), "--state", "os", "--dir", devices],
                               stdout=subprocess.PIPE, text=True)
        try:
            assert sim.stdout.readline().startswith("listening on")

            def ukavlen():
                subprocess.run([os.path.join(BIN, "ukavlen"), "-d", image, "-v"], cwd=work, check=True,
                               stdout=subprocess.DEVNULL)

            def python_program():
                subprocess.run([sys.executable, "-c", RUN, image], check=True)

            def python_call():
                with kavlen.open(lock_wait=0) as emu:
                    emu.download(kavlen.load(image), verify=True)

            runs = {"ukavlen": [], "python program": [], "python call": []}
            for _ in range(repetitions):
                runs["ukavlen"].append(timed(ukavlen))
                runs["python program"].append(timed(python_program))
                runs["python call"].append(timed(python_call))
        finally:
            sim.terminate()
            sim.wait()
    medians = {name: statistics.median(times) for name, times in runs.items()}
    print(f"4 MB download with verify, median of {repetitions}:")
    for name, median in medians.items():
        print(f"  {name:15} {median * 1000:8.1f} ms   ratio to ukavlen {median / medians['ukavlen']:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
