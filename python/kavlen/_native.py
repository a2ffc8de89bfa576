"""The C interface of libkavlen (kavlen/kavlen.h) as ctypes declarations."""

import ctypes
import os
import sys


KV_PATH_MAX = 1024

# kv_status
OK, PREPARE_FAILED, DOWNLOAD_FAILED, VERIFY_FAILED, RESET_FAILED = 0, 1, 2, 3, 4
NO_DEVICE, BUSY, BAD_IMAGE, CANCELLED, BAD_ARGUMENT = 5, 6, 7, 8, 9

# kv_device_state
STATE_OS_RUNNING, STATE_BOOT_CODE, STATE_BOOT_ERROR, STATE_IN_USE, STATE_UNOPENABLE = 0, 1, 2, 3, 4

# kv_stage
STAGE_NAMES = {1: "download", 2: "verify", 3: "read"}


class DeviceInfoStruct(ctypes.Structure):
    _fields_ = [
        ("number", ctypes.c_int),
        ("path", ctypes.c_char * KV_PATH_MAX),
        ("state", ctypes.c_int),
        ("model", ctypes.c_int),
        ("version", ctypes.c_char * 8),
        ("capacity", ctypes.c_uint32),
        ("os_checksum", ctypes.c_uint16),
        ("os_loaded", ctypes.c_int),
    ]


class MismatchStruct(ctypes.Structure):
    _fields_ = [
        ("offset", ctypes.c_uint32),
        ("expected", ctypes.c_uint8),
        ("found", ctypes.c_uint8),
        ("count", ctypes.c_uint32),
    ]


PROGRESS = ctypes.CFUNCTYPE(None, ctypes.c_int, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_void_p)
LOG = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)


def _library_path() -> str:
    """The library inside the package, unless KAVLEN_LIBRARY names another."""
    named = os.environ.get("KAVLEN_LIBRARY")
    if named:
        return named
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.join(here, "kavlen.dll" if sys.platform == "win32" else "libkavlen.so.1")


def _declare(lib: ctypes.CDLL) -> ctypes.CDLL:
    p, u32, i, st = ctypes.c_void_p, ctypes.c_uint32, ctypes.c_int, ctypes.c_int
    cp = ctypes.c_char_p
    signatures = {
        "kv_version": (cp, []),
        "kv_api_version": (i, []),
        "kv_list": (i, [ctypes.POINTER(DeviceInfoStruct), i]),
        "kv_open": (st, [cp, u32, ctypes.POINTER(p)]),
        "kv_prepare": (st, [p, cp, ctypes.POINTER(DeviceInfoStruct)]),
        "kv_image_load": (st, [cp, cp, ctypes.c_int64, i, ctypes.POINTER(p)]),
        "kv_image_from_bytes": (st, [cp, ctypes.c_size_t, i, ctypes.POINTER(p)]),
        "kv_image_info": (st, [p, ctypes.POINTER(u32), ctypes.POINTER(u32), ctypes.POINTER(u32)]),
        "kv_image_free": (None, [p]),
        "kv_download": (st, [p, p, i, PROGRESS, p]),
        "kv_verify": (st, [p, p, PROGRESS, p]),
        "kv_read": (st, [p, p, ctypes.c_size_t, PROGRESS, p]),
        "kv_reset_target": (st, [p]),
        "kv_cancel": (None, [p]),
        "kv_close": (None, [p]),
        "kv_mismatch": (st, [p, ctypes.POINTER(MismatchStruct)]),
        "kv_last_error": (cp, [p]),
        "kv_status_text": (cp, [st]),
        "kv_set_log": (None, [LOG, p]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib = _declare(ctypes.CDLL(_library_path()))
if lib.kv_api_version() != 1:
    raise ImportError(f"{_library_path()} has interface version {lib.kv_api_version()}, not 1")
