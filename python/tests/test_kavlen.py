"""The kavlen package against kavlen-sim (KAVLEN_SIM names it), as a rig
uses it: from an installed wheel."""

import json
import os
import subprocess
import sys
import time

import pytest

import kavlen

SIM = os.environ.get("KAVLEN_SIM", "kavlen-sim")
DEVICE_OS = b"device OS of the Python tests"


def pattern(length):
    return bytes((i * 7 + i // 251) & 0xFF for i in range(length))


@pytest.fixture
def rig(tmp_path, monkeypatch):
    """start(*args) runs a simulator as the one attached emulator."""
    devices = tmp_path / "devices"
    devices.mkdir(mode=0o700)
    (tmp_path / "config" / "kavlen").mkdir(parents=True)
    (tmp_path / "config" / "kavlen" / "TPROMOS.USB").write_bytes(DEVICE_OS)
    monkeypatch.setenv("KAVLEN_DEVICE_DIR", str(devices))
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
    started = []

    def start(*args):
        sim = subprocess.Popen([SIM, "--dir", str(devices), "--log", str(tmp_path / "sim.log"),
                                "--dump", str(tmp_path / "dump.bin"), *args],
                               stdout=subprocess.PIPE, text=True)
        started.append(sim)
        assert sim.stdout.readline().startswith("listening on")
        return tmp_path

    yield start
    for sim in started:
        sim.terminate()
        sim.wait()


def sim_log(folder):
    return [json.loads(line) for line in (folder / "sim.log").read_text().splitlines()]


def opens_and_closes(folder):
    log = sim_log(folder)
    return sum(e["op"] == "open" and e["ok"] for e in log), sum(e["op"] == "close" for e in log)


@pytest.mark.parametrize("verify,stages", [(False, ["download"]), (True, ["download", "verify"])])
def test_download_holds_the_image_and_progress_runs_forward(rig, verify, stages):
    folder = rig("--state", "os")
    steps = []
    with kavlen.open(lock_wait=1) as emu:
        info = emu.prepare()
        assert (info.os_loaded, info.model, info.version, info.capacity) == (False, 2, "1.2", 4194304)
        image = kavlen.Image(pattern(100000), fill=0xFF)
        assert (image.length, image.checksum) == (100000, sum(pattern(100000)))
        emu.download(image, verify=verify, progress=lambda *step: steps.append(step))
        expected = pattern(100000) + b"\xff" * (131072 - 100000)
        assert (folder / "dump.bin").read_bytes() == expected
        assert emu.read(131072) == expected
        emu.reset()
    assert [s for s, d, t in steps if d == 0] == stages
    for stage in stages:
        done = [d for s, d, t in steps if s == stage]
        assert done == list(range(9)) and all(t == 8 for s, d, t in steps)
    assert opens_and_closes(folder)[0] == opens_and_closes(folder)[1]


def test_a_corrupted_block_raises_verify_error_with_the_first_difference(rig):
    rig("--state", "os", "--corrupt", "0x4123")
    with kavlen.open() as emu, pytest.raises(kavlen.VerifyError) as failed:
        emu.download(kavlen.Image(pattern(65536)), verify=True)
    e = failed.value
    assert (e.status, e.offset, e.expected, e.found, e.count) == (3, 0x4123, 0x37, 0xC8, 1)


def test_a_held_emulator_raises_busy_after_the_wait(rig):
    rig("--state", "os")
    holder = subprocess.Popen([sys.executable, "-c", "import kavlen, time; e = kavlen.open(); "
                               "print('held', flush=True); time.sleep(5)"], stdout=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "held\n"
        start = time.monotonic()
        with pytest.raises(kavlen.Busy) as failed:
            kavlen.open(lock_wait=0.3)
        assert time.monotonic() - start >= 0.3 and failed.value.status == 6
    finally:
        holder.kill()
        holder.wait()


def test_no_simulator_raises_no_device(rig):
    assert kavlen.list() == []
    with pytest.raises(kavlen.NoDevice) as failed:
        kavlen.open()
    assert (failed.value.status, str(failed.value)) == (5, "no emulator attached")


def test_a_malformed_hex_line_raises_image_error_naming_file_and_line(tmp_path):
    path = tmp_path / "bad.hex"
    path.write_text(":0400000001020304F2\n:04001000010203\n:00000001FF\n")
    with pytest.raises(kavlen.ImageError) as failed:
        kavlen.load(path)
    e = failed.value
    assert (e.status, e.file, e.line, e.message) == (7, str(path), 2, "short record: 4 data bytes announced, 2 present")
    assert kavlen.load(path, format="bin").length == path.stat().st_size


def test_boot_code_gets_its_device_os(rig):
    folder = rig("--state", "boot")
    assert [(d.number, d.boot_code_only, d.capacity) for d in kavlen.list()] == [(1, True, 0)]
    with kavlen.open() as emu:
        info = emu.prepare()
    assert (info.os_loaded, info.boot_code_only, info.capacity) == (True, False, 4194304)
    loads = [e["in"] for e in sim_log(folder) if e.get("ioctl") == "LOAD_DEVICE_OS"]
    assert loads == [DEVICE_OS.hex()]


CTRL_C = """
import os, signal, time, kavlen
emu = kavlen.open()
def press_ctrl_c(stage, done, total):
    if done == 3:
        os.kill(os.getpid(), signal.SIGINT)
    time.sleep(0.01)  # blocks as slow as a real device's, so that Ctrl-C comes mid-download
try:
    emu.download(kavlen.Image(bytes(4194304)), progress=press_ctrl_c)
except KeyboardInterrupt:
    print("interrupted, closed" if emu._handle is None else "interrupted, open")
"""


def test_ctrl_c_cancels_after_the_block_in_flight_and_closes(rig):
    folder = rig("--state", "os")
    ran = subprocess.run([sys.executable, "-c", CTRL_C], capture_output=True, text=True, timeout=60)
    assert (ran.stdout, ran.stderr) == ("interrupted, closed\n", "")
    opened, closed = opens_and_closes(folder)
    assert opened == closed
    assert 3 <= sum(e["op"] == "write" for e in sim_log(folder)) < 256
    kavlen.open(lock_wait=0).close()
