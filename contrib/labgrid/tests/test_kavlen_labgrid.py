"""KavlenDriver against kavlen-sim (KAVLEN_SIM names it), directly and
through kavlen-bridge (KAVLEN_BRIDGE), run with pytest --lg-env env.yaml."""

import os
import subprocess

import pytest

from kavlen_labgrid import KavlenEmulator, KavlenError

SIM = os.environ.get("KAVLEN_SIM", "kavlen-sim")
BRIDGE = os.environ.get("KAVLEN_BRIDGE", "kavlen-bridge")
IMAGE = bytes((i * 7 + i // 251) & 0xFF for i in range(70000))
ROM = IMAGE + bytes(131072 - len(IMAGE))


@pytest.fixture
def devices(tmp_path, monkeypatch):
    folder = tmp_path / "devices"
    folder.mkdir(mode=0o700)
    monkeypatch.setenv("KAVLEN_DEVICE_DIR", str(folder))
    return folder


# sim: None for no simulator; device: a number, "path" for the one started,
# or "bridge" for number 1 of a bridge serving it (ukavlen sees no device dir)
@pytest.mark.parametrize("sim,device,status,message", [
    (["--state", "os"], "path", None, None),
    (["--state", "os"], "bridge", None, None),
    (["--state", "os", "--corrupt", "0x4123"], 1, 3,
     "ukavlen exited with status 3 (verify_failed): Error at 0x4123 --> Orginal= 0x37 ; Target= 0xC8"),
    (None, 1, 1, "ukavlen exited with status 1 (stopped): There is no emulator number 1: 0 attached (see --list) !!"),
    (["--state", "os"], "/nowhere/emu0", 1, "ukavlen: /nowhere/emu0 is not attached"),
    (None, "/nowhere/emu0", 1, "ukavlen exited with status 1 (stopped): USB Device not Attached !!"),
])
def test_load(target, devices, tmp_path, monkeypatch, sim, device, status, message):
    image, dump = tmp_path / "rom.bin", tmp_path / "dump.bin"
    image.write_bytes(IMAGE)
    emulator = target.get_resource(KavlenEmulator)
    emulator.remote = emulator.token_file = None
    started, bridge = None, None
    if sim is not None:
        started = subprocess.Popen([SIM, "--dir", str(devices), "--dump", str(dump), *sim],
                                   stdout=subprocess.PIPE, text=True)
        listening = started.stdout.readline()
        assert listening.startswith("listening on ")
        if device == "path":
            device = listening[len("listening on "):].strip()
    if device == "bridge":
        token = tmp_path / "bridge.token"
        bridge = subprocess.Popen([BRIDGE, "--listen", "127.0.0.1:0", "--token-file", str(token)],
                                  stdout=subprocess.PIPE, text=True)
        listening = bridge.stdout.readline()
        assert listening.startswith("listening on 127.0.0.1:")
        monkeypatch.delenv("KAVLEN_DEVICE_DIR")
        emulator.remote, emulator.token_file = listening[len("listening on "):].strip(), str(token)
        device = 1
    emulator.device = device
    driver = target.get_driver("BootstrapProtocol")
    try:
        if status is None:
            driver.load(str(image))
            assert dump.read_bytes() == ROM
        else:
            with pytest.raises(KavlenError) as failed:
                driver.load(str(image))
            assert (failed.value.status, str(failed.value)) == (status, message)
    finally:
        for process in (bridge, started):
            if process:
                process.terminate()
                process.wait()
