"""Drive the USB ROM emulator from Python: list, prepare, download, verify,
read back and reset, with typed results and exceptions instead of texts.

    import kavlen
    for d in kavlen.list():
        print(d.number, d.path, d.model, d.capacity)
    with kavlen.open(device=1, lock_wait=30.0) as emu:
        info = emu.prepare()                       # loads the device OS if needed
        image = kavlen.load("rom.hex", fill=0xFF)  # or kavlen.Image(data)
        emu.download(image, verify=True, progress=lambda stage, done, total: None)
        emu.reset()

An open emulator is held against other programs until it is closed; between
calls nothing else stays open. Every failure raises a subclass of
kavlen.Error carrying .status (the number ukavlen would exit with, where it
has one). Ctrl-C during a transfer stops it after the block in flight,
closes the emulator and raises KeyboardInterrupt.

kavlen.set_log(print) shows the library's trace lines.
"""

from __future__ import annotations

import ctypes
import os
import threading
from typing import TYPE_CHECKING

# (typing, re and logging stay out of the import: a rig's script that runs
# once per download pays for every module it loads)
if TYPE_CHECKING:
    from typing import Callable, List, Optional, Union

    #: progress(stage, done, total): stage is "download", "verify" or
    #: "read"; done runs from 0 to total blocks and never goes backwards
    #: within a stage.
    Progress = Callable[[str, int, int], None]

from . import _native
from ._native import lib as _lib

__all__ = [
    "Busy", "Cancelled", "DeviceInfo", "DownloadError", "Emulator", "Error", "Image", "ImageError",
    "NoDevice", "PrepareError", "ResetError", "VerifyError", "list", "load", "open", "set_log",
]

__version__: str = _lib.kv_version().decode()

_BLOCK = 16384
_LARGEST_READ = 4 * 1024 * 1024
_log_callback = None


def set_log(callback: "Optional[Callable[[str], None]]") -> None:
    """Hands each trace line of the library (without its line feed) to
    callback; None: nowhere, as at import."""
    global _log_callback
    if callback is None:
        _log_callback = None
        _lib.kv_set_log(_native.LOG(), None)
        return

    @_native.LOG
    def forward(line: bytes, _user: "Optional[int]") -> None:
        callback(line.decode(errors="replace").rstrip("\n"))

    _log_callback = forward  # kept alive while the library may call it
    _lib.kv_set_log(forward, None)


class Error(Exception):
    """A failed call; .status is the library's kv_status number."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(message)
        self.status = status
        self.message = message


class NoDevice(Error):
    """No such emulator is attached, or it cannot be opened."""


class Busy(Error):
    """Another program held the emulator for the whole lock wait."""


class PrepareError(Error):
    """The device OS does not run and could not be made to run."""


class ImageError(Error):
    """The image cannot be read or is malformed; .file, .line (None when the
    fault is the file as a whole) and .message say where and what."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(status, message)
        self.file: Optional[str] = None
        self.line: Optional[int] = None
        import re

        at_line = re.match(r"^(.*):(\d+): (.*)$", message)
        whole = re.match(r"^(.*): ([^:]*)$", message)
        if at_line:
            self.file, self.line, self.message = at_line.group(1), int(at_line.group(2)), at_line.group(3)
        elif whole:
            self.file, self.message = whole.group(1), whole.group(2)


class DownloadError(Error):
    """The image did not reach the emulator whole."""


class VerifyError(Error):
    """The read-back differs from the image (.offset of the first differing
    byte, .expected and .found there, .count of differing bytes), or it was
    cut short (then .offset is None)."""

    def __init__(self, status: int, message: str, mismatch: Optional[_native.MismatchStruct] = None) -> None:
        super().__init__(status, message)
        self.offset = mismatch.offset if mismatch else None
        self.expected = mismatch.expected if mismatch else None
        self.found = mismatch.found if mismatch else None
        self.count = mismatch.count if mismatch else 0


class ResetError(Error):
    """The end of the download or the target reset did not reach the emulator."""


class Cancelled(Error):
    """Emulator.cancel() stopped the transfer."""


_ERRORS = {
    _native.PREPARE_FAILED: PrepareError, _native.DOWNLOAD_FAILED: DownloadError,
    _native.VERIFY_FAILED: VerifyError, _native.RESET_FAILED: ResetError, _native.NO_DEVICE: NoDevice,
    _native.BUSY: Busy, _native.BAD_IMAGE: ImageError, _native.CANCELLED: Cancelled,
}


class ArgumentError(Error, ValueError):
    """A value the library refuses (an unknown format, a fill out of range)."""


_ERRORS[_native.BAD_ARGUMENT] = ArgumentError


def _raise(status: int, handle: Optional[int] = None) -> None:
    if status == _native.OK:
        return
    message = (_lib.kv_last_error(handle) or b"").decode(errors="replace")
    if not message:
        message = _lib.kv_status_text(status).decode()
    if status == _native.VERIFY_FAILED and handle:
        first = _native.MismatchStruct()
        if _lib.kv_mismatch(handle, ctypes.byref(first)) == _native.OK:
            raise VerifyError(status, message, first)
    raise _ERRORS.get(status, Error)(status, message)


class DeviceInfo:
    """An emulator as list() or Emulator.prepare() found it:
    .number (in list() order, from 1), .path (its device interface path,
    which open(device=...) takes), .boot_code_only (prepare() will load the
    device OS), .state ("os running", "boot code", "boot error", "in use" or
    "unopenable"), .model, .version ("1.2"), .capacity (supported bytes, 0
    while unknown), .os_checksum and .os_loaded (prepare() loaded the
    device OS)."""

    __slots__ = ("number", "path", "boot_code_only", "state", "model", "version", "capacity",
                 "os_checksum", "os_loaded")
    _STATES = ("os running", "boot code", "boot error", "in use", "unopenable")

    def __init__(self, s: _native.DeviceInfoStruct) -> None:
        self.number: int = s.number
        self.path: str = s.path.decode(errors="replace")
        self.boot_code_only: bool = s.state == _native.STATE_BOOT_CODE
        self.state: str = self._STATES[s.state] if 0 <= s.state < len(self._STATES) else "unknown"
        self.model: int = s.model
        self.version: str = s.version.decode()
        self.capacity: int = s.capacity
        self.os_checksum: int = s.os_checksum
        self.os_loaded: bool = bool(s.os_loaded)

    def _fields(self) -> tuple:
        return tuple(getattr(self, name) for name in self.__slots__)

    def __eq__(self, other: object) -> bool:
        return isinstance(other, DeviceInfo) and self._fields() == other._fields()

    def __repr__(self) -> str:
        return "DeviceInfo(" + ", ".join(f"{n}={getattr(self, n)!r}" for n in self.__slots__) + ")"


def _fill_code(fill: int) -> int:
    """0 or 0x00: zeros past the image; 1 or 0xFF: 0xFF; 2: nothing."""
    codes = {0: 0, 1: 1, 2: 2, 0xFF: 1}
    if fill not in codes:
        raise ArgumentError(_native.BAD_ARGUMENT, f"fill {fill!r} is not 0, 1, 2 or 0xFF")
    return codes[fill]


class Image:
    """A ROM image ready to download: the bytes given or loaded, filled up
    to the smallest ROM size that holds them (fill 0: 0x00, 0xFF or 1: 0xFF,
    2: left as 0x00). .length, .checksum (32-bit sum of the image's bytes)
    and .base (the address of its first byte, for record files)."""

    def __init__(self, data: Union[bytes, bytearray, memoryview], fill: int = 0) -> None:
        raw = bytes(data)
        handle = ctypes.c_void_p()
        _raise(_lib.kv_image_from_bytes(raw, len(raw), _fill_code(fill), ctypes.byref(handle)))
        self._handle: Optional[int] = handle.value

    @classmethod
    def _own(cls, handle: int) -> "Image":
        image = cls.__new__(cls)
        image._handle = handle
        return image

    def _info(self) -> tuple:
        values = [ctypes.c_uint32() for _ in range(3)]
        _raise(_lib.kv_image_info(self._handle, *[ctypes.byref(v) for v in values]))
        return tuple(v.value for v in values)

    @property
    def length(self) -> int:
        return self._info()[0]

    @property
    def checksum(self) -> int:
        return self._info()[1]

    @property
    def base(self) -> int:
        return self._info()[2]

    def __del__(self) -> None:
        if getattr(self, "_handle", None):
            _lib.kv_image_free(self._handle)
            self._handle = None


def load(path: Union[str, os.PathLike], format: Optional[str] = None, base: Optional[int] = None,
         fill: int = 0) -> Image:
    """Loads an image file: format None (by extension), "bin", "ihex" or
    "srec"; base None for the lowest record address rounded down to the ROM
    size. A malformed file raises ImageError with .file, .line and .message."""
    handle = ctypes.c_void_p()
    encoded_format = format.encode() if format is not None else None
    _raise(_lib.kv_image_load(os.fsencode(path), encoded_format, -1 if base is None else base,
                              _fill_code(fill), ctypes.byref(handle)))
    return Image._own(handle.value)


def list() -> List[DeviceInfo]:  # noqa: A001 - the name of the verb
    """The attached emulators in enumeration order (ukavlen --list's), each
    asked what runs unless another program holds it."""
    count = _lib.kv_list(None, 0)
    found = (_native.DeviceInfoStruct * max(count, 1))()
    count = min(count, _lib.kv_list(found, count))
    return [DeviceInfo(found[k]) for k in range(count)]


class Emulator:
    """One attached emulator, held against other programs until close().
    Use it as a context manager."""

    def __init__(self, handle: int) -> None:
        self._handle: Optional[int] = handle
        self._capacity = 0

    def __enter__(self) -> "Emulator":
        return self

    def __exit__(self, *_exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        self.close()

    def close(self) -> None:
        """Lets the emulator go; closing twice is harmless."""
        if getattr(self, "_handle", None):
            _lib.kv_close(self._handle)
            self._handle = None

    def _live(self) -> int:
        if not self._handle:
            raise ArgumentError(_native.BAD_ARGUMENT, "the emulator is closed")
        return self._handle

    def prepare(self, device_os: Optional[Union[str, os.PathLike]] = None) -> DeviceInfo:
        """Loads the device OS when only the boot code runs (device_os None:
        TPROMOS.USB where ukavlen looks for it) and identifies the device."""
        info = _native.DeviceInfoStruct()
        path = os.fsencode(device_os) if device_os is not None else None
        _raise(_lib.kv_prepare(self._live(), path, ctypes.byref(info)), self._handle)
        self._capacity = info.capacity
        return DeviceInfo(info)

    def _transfer(self, call: Callable[[object], int], progress: Optional[Progress]) -> None:
        """Runs a transfer on a thread of its own, so that Ctrl-C reaches this
        one: it cancels after the block in flight, closes the emulator and
        raises KeyboardInterrupt."""
        handle = self._live()

        def tell(stage: int, done: int, total: int, _user: Optional[int]) -> None:
            if progress is not None:
                progress(_native.STAGE_NAMES.get(stage, str(stage)), done, total)

        callback = _native.PROGRESS(tell)
        result: List[int] = []
        ended = threading.Event()

        def run() -> None:
            try:
                result.append(call(callback))
            finally:
                ended.set()

        # (an Event, not Thread.join: a join cut short by Ctrl-C may take
        # the thread for ended while it still runs)
        threading.Thread(target=run, daemon=True).start()
        try:
            while not ended.wait(0.05):
                pass
        except KeyboardInterrupt:
            _lib.kv_cancel(handle)
            while True:
                try:
                    ended.wait()
                    break
                except KeyboardInterrupt:
                    pass  # a second Ctrl-C: the block in flight still ends first
            self.close()
            raise
        _raise(result[0], handle)

    def download(self, image: Image, verify: bool = False, progress: Optional[Progress] = None) -> None:
        """Downloads the image, and with verify reads it back and compares;
        prepares the device first unless prepare() did. Raises DownloadError,
        or VerifyError with the first difference."""
        self._transfer(lambda cb: _lib.kv_download(self._handle, image._handle, int(verify), cb, None),
                       progress)

    def verify(self, image: Image, progress: Optional[Progress] = None) -> None:
        """Reads the image's ROM size back and compares it only."""
        self._transfer(lambda cb: _lib.kv_verify(self._handle, image._handle, cb, None), progress)

    def read(self, length: Optional[int] = None, progress: Optional[Progress] = None) -> bytes:
        """The emulator's memory from its start: length bytes, or the
        supported capacity (at most 4 MB) that prepare() found."""
        if length is None:
            if not self._capacity:
                self.prepare()
            length = min(self._capacity or _LARGEST_READ, _LARGEST_READ)
        buffer = ctypes.create_string_buffer(length)
        self._transfer(lambda cb: _lib.kv_read(self._handle, buffer, length, cb, None), progress)
        return buffer.raw

    def reset(self) -> None:
        """The end of the download, then the target reset and its poll."""
        _raise(_lib.kv_reset_target(self._live()), self._handle)

    def cancel(self) -> None:
        """Stops the transfer under way (from another thread) after the
        block in flight; it raises Cancelled."""
        if self._handle:
            _lib.kv_cancel(self._handle)


def open(device: Union[None, int, str] = None, lock_wait: float = 30.0) -> Emulator:  # noqa: A001
    """Opens an emulator: device None (the last one found, as ukavlen), a
    number from list() or a device path; waits up to lock_wait seconds while
    another program holds it (then Busy)."""
    if device is not None and not isinstance(device, (int, str)):
        raise TypeError("device is None, a number or a path")
    selector = None if device is None else str(device).encode()
    handle = ctypes.c_void_p()
    _raise(_lib.kv_open(selector, max(0, int(lock_wait * 1000)), ctypes.byref(handle)))
    return Emulator(handle.value)
