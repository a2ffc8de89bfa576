"""labgrid resource and driver for the USB ROM emulator.

Load it through the imports list of an environment file:

    targets:
      main:
        resources:
          KavlenEmulator:
            device: 1                    # a number of ukavlen --list, or a path
            remote: emuhost:4711         # optional: the kavlen-bridge serving it
            token_file: bridge.token     # optional: a copy of the bridge's token
        drivers:
          KavlenDriver:
            image: rom                   # optional: the images key load() takes by default
    images:
      rom: build/rom.bin
    tools:
      ukavlen: /usr/bin/ukavlen          # optional: ukavlen from PATH
    imports:
      - kavlen_labgrid.py

KavlenDriver is a BootstrapProtocol: load(filename) runs ukavlen, which
downloads the image, reads it back, compares it and resets the target. A run
that does not end with status 0 raises KavlenError with the status, its
name and the run's last message.
"""

import json
import os
import subprocess

import attr

from labgrid.driver.common import Driver
from labgrid.driver.exception import ExecutionError
from labgrid.factory import target_factory
from labgrid.protocol import BootstrapProtocol
from labgrid.resource.common import Resource
from labgrid.step import step

_BANNER_LINES = 3


@target_factory.reg_resource
@attr.s(eq=False)
class KavlenEmulator(Resource):
    """An emulator: device is its number in ukavlen --list or its device
    path; remote (HOST:PORT) and token_file name the bridge it hangs on."""

    device = attr.ib(validator=attr.validators.instance_of((int, str)))
    remote = attr.ib(default=None, validator=attr.validators.optional(attr.validators.instance_of(str)))
    token_file = attr.ib(default=None, validator=attr.validators.optional(attr.validators.instance_of(str)))


@attr.s(eq=False)
class KavlenError(ExecutionError):
    """A ukavlen run that failed: .status is its exit status, .name the
    status's name (verify_failed, ...), .message the run's last message."""

    status = attr.ib(default=None)
    name = attr.ib(default=None)
    message = attr.ib(default="")

    def __str__(self):
        return self.msg


@target_factory.reg_driver
@attr.s(eq=False)
class KavlenDriver(Driver, BootstrapProtocol):
    bindings = {"emulator": "KavlenEmulator"}

    image = attr.ib(default=None, validator=attr.validators.optional(attr.validators.instance_of(str)))

    def __attrs_post_init__(self):
        super().__attrs_post_init__()
        config = self.target.env.config if self.target.env else None
        self.tool = (config.get_tool("ukavlen") if config else None) or "ukavlen"

    def _environment(self):
        """ukavlen's environment: this process's, and the bridge when the
        resource names one (a relative token file is beside the environment
        file)."""
        env = dict(os.environ)
        if self.emulator.remote:
            env["KAVLEN_REMOTE"] = self.emulator.remote
        if self.emulator.token_file:
            token = self.emulator.token_file
            if self.target.env:
                token = self.target.env.config.resolve_path(token)
            env["KAVLEN_REMOTE_TOKEN_FILE"] = token
        return env

    def _run(self, *args):
        """Runs ukavlen --json; returns the texts it printed (banner left
        out) and its result event."""
        run = subprocess.run([self.tool, *args, "--json"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=self._environment(), check=False)
        texts, result = [], {"status": run.returncode, "name": None}
        for line in run.stdout.splitlines():
            try:
                event = json.loads(line)
            except ValueError:
                continue
            if event.get("event") == "message":
                texts.append(event["text"].rstrip("\r\n"))
            elif event.get("event") == "result":
                result = event
        return texts[_BANNER_LINES:], result, run.stderr

    def _device_number(self):
        """The emulator's number in the list: a path is looked up there."""
        device = self.emulator.device
        if isinstance(device, int) or device.isdigit():
            return str(device)
        texts, result, stderr = self._run("--list")
        _raise_for(texts, result, stderr)
        for text in texts:
            number, _, rest = text.partition(": ")
            if number.isdigit() and rest.startswith(device + ": "):
                return number
        raise KavlenError(f"ukavlen: {device} is not attached", status=1, name="stopped",
                          message=f"{device} is not attached")

    @Driver.check_active
    @step(args=["filename"])
    def load(self, filename=None):
        """Downloads filename (None: the driver's image key) with verify,
        and resets the target."""
        if filename is None:
            if self.image is None or not self.target.env:
                raise ExecutionError("KavlenDriver: no file given and no image configured")
            filename = self.target.env.config.get_image_path(self.image)
        _raise_for(*self._run("-d", filename, "-v", "--device", self._device_number()))


def _raise_for(texts, result, stderr):
    """Raises KavlenError for a run that did not end with status 0; its
    message is the run's last line."""
    if result["status"] == 0:
        return
    message = next((t.strip() for t in reversed(texts) if t.strip()), stderr.strip())
    raise KavlenError(f"ukavlen exited with status {result['status']} ({result['name']}): {message}",
                      stdout=texts, stderr=stderr.splitlines(), status=result["status"],
                      name=result["name"], message=message)
