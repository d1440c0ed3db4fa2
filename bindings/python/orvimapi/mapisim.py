"""The stand-in MAPI's test controls (Linux): mailboxes, faults, the call log.

For an application's own tests on a machine without Outlook:

>>> from orvimapi import mapisim
>>> mapisim.load_mailbox("samples/mailbox.json")
>>> mapisim.fail_method("IMAPIFolder::GetContentsTable", hresult=0x8004010F)
"""
from __future__ import annotations

import ctypes
import os
from dataclasses import dataclass
from pathlib import Path
from typing import Optional, Union

from ._native import _SOURCE_ROOT, mapisim_library

E_FAIL = 0x80004005


class _Call(ctypes.Structure):
    _fields_ = [("method", ctypes.c_char_p), ("flags", ctypes.c_uint32), ("result", ctypes.c_int32),
                ("injected", ctypes.c_int), ("args", ctypes.c_char_p)]


# name: (result, [parameter types]), as mapisim/mapisim.h declares them.
_CONTROLS: dict[str, tuple[object, list[object]]] = {
    "mapisim_live_objects": (ctypes.c_uint32, []),
    "mapisim_live_allocations": (ctypes.c_uint32, []),
    "mapisim_live_local_allocations": (ctypes.c_uint32, []),
    "mapisim_open_registry_keys": (ctypes.c_uint32, []),
    "mapisim_dead_calls": (ctypes.c_uint32, []),
    "mapisim_bad_frees": (ctypes.c_uint32, []),
    "mapisim_reset_misuse_counters": (None, []),
    "mapisim_allocation_calls": (ctypes.c_uint32, []),
    "mapisim_fail_allocation": (None, [ctypes.c_uint32, ctypes.c_int]),
    "mapisim_registry_set_string": (ctypes.c_int, [ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p,
                                                   ctypes.c_char_p]),
    "mapisim_registry_set_dword": (ctypes.c_int, [ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p,
                                                  ctypes.c_uint32]),
    "mapisim_registry_delete_key": (ctypes.c_int, [ctypes.c_int, ctypes.c_char_p]),
    "mapisim_registry_clear": (None, []),
    "mapisim_version_register": (ctypes.c_int, [ctypes.c_char_p] + [ctypes.c_uint32] * 4),
    "mapisim_load_mailbox_file": (ctypes.c_int, [ctypes.c_char_p]),
    "mapisim_load_mailbox_string": (ctypes.c_int, [ctypes.c_char_p]),
    "mapisim_last_load_error": (ctypes.c_char_p, []),
    "mapisim_reset": (None, []),
    "mapisim_mapi_initialized": (ctypes.c_uint32, []),
    "mapisim_set_getprops_limit": (None, [ctypes.c_uint32]),
    "mapisim_set_queryrows_cap": (None, [ctypes.c_uint32]),
    "mapisim_set_short_term_ids": (None, [ctypes.c_int]),
    "mapisim_script_logon_choice": (None, [ctypes.c_char_p]),
    "mapisim_script_show_form": (None, [ctypes.c_int32]),
    "mapisim_script_address_dialog": (None, [ctypes.c_int32]),
    "mapisim_fail_method": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_uint32, ctypes.c_int, ctypes.c_int32]),
    "mapisim_clear_faults": (None, []),
    "mapisim_call_count": (ctypes.c_uint32, []),
    "mapisim_call_get": (ctypes.c_int, [ctypes.c_uint32, ctypes.POINTER(_Call)]),
    "mapisim_call_count_of": (ctypes.c_uint32, [ctypes.c_char_p]),
    "mapisim_call_log_clear": (None, []),
    "mapisim_deliver_mail": (ctypes.c_int32, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "mapisim_set_notification_thread": (ctypes.c_int, [ctypes.c_int]),
    "mapisim_wait_for_notifications": (None, []),
}

SAMPLE_MAILBOX = _SOURCE_ROOT / "samples" / "mailbox.json"


def _lib() -> ctypes.CDLL:
    lib = mapisim_library()
    if not getattr(lib, "_orvimapi_declared", False):
        for name, (result, params) in _CONTROLS.items():
            if not hasattr(lib, name):
                continue  # a stand-in older than this package
            function = getattr(lib, name)
            function.restype = result
            function.argtypes = params
        lib._orvimapi_declared = True
    return lib


class MailboxError(ValueError):
    """A mailbox description that could not be loaded; the text says where and why."""


@dataclass(frozen=True)
class Call:
    """One MAPI call the stand-in served."""

    method: str
    flags: int
    result: int
    injected: bool
    args: dict[str, str]


def _signed(hresult: int) -> int:
    return ctypes.c_int32(hresult & 0xFFFFFFFF).value


def load_mailbox(path: Union[str, "os.PathLike[str]", None] = None) -> None:
    """Installs a mailbox description file (the bundled sample by default)."""
    target = os.fspath(path) if path is not None else str(SAMPLE_MAILBOX)
    if _lib().mapisim_load_mailbox_file(target.encode()) != 0:
        raise MailboxError(_lib().mapisim_last_load_error().decode())


def load_mailbox_text(text: str) -> None:
    """Installs a mailbox description given as JSON text."""
    if _lib().mapisim_load_mailbox_string(text.encode("utf-8")) != 0:
        raise MailboxError(_lib().mapisim_last_load_error().decode())


def reset() -> None:
    """An empty stand-in: no mailbox, MAPI not initialised, no faults, empty call log."""
    _lib().mapisim_reset()


def fail_method(method: str, nth: int = 1, persistent: bool = False, hresult: int = E_FAIL) -> None:
    """Makes the nth matching MAPI call from now fail with hresult ("IMAPITable::QueryRows",
    "IMAPIFolder::*", "*::GetProps", "*"); with persistent every later one too."""
    if _lib().mapisim_fail_method(method.encode(), nth, 1 if persistent else 0, _signed(hresult)) != 0:
        raise ValueError(f"unusable fault rule: {method!r}, nth={nth}, hresult=0x{hresult:08X}")


def fail_allocation(nth: int, persistent: bool = False) -> None:
    """Makes the nth MAPI allocation from now fail (0 turns it off)."""
    _lib().mapisim_fail_allocation(nth, 1 if persistent else 0)


def clear_faults() -> None:
    _lib().mapisim_clear_faults()
    _lib().mapisim_fail_allocation(0, 0)


def set_queryrows_cap(rows: int) -> None:
    """The most rows one QueryRows call returns (0 for no cap)."""
    _lib().mapisim_set_queryrows_cap(rows)


def script_logon_choice(profile: Optional[str]) -> None:
    """The profile "the user" picks in the logon dialog ("" cancels, None the default)."""
    _lib().mapisim_script_logon_choice(None if profile is None else profile.encode())


def calls(method: Optional[str] = None) -> list[Call]:
    """The call log, oldest first, optionally only the calls of one method."""
    lib = _lib()
    found = []
    record = _Call()
    for index in range(lib.mapisim_call_count()):
        if lib.mapisim_call_get(index, ctypes.byref(record)) != 0:
            break
        name = (record.method or b"").decode()
        if method is not None and name != method:
            continue
        args = {}
        for pair in (record.args or b"").decode().split("; "):
            key, sep, value = pair.partition("=")
            if sep:
                args[key] = value
        found.append(Call(name, record.flags, record.result & 0xFFFFFFFF, bool(record.injected), args))
    return found


def deliver_mail(message_json: str, folder_path: str = "", store: str = "") -> int:
    """Delivers mail as a transport does: one message object of the mailbox
    format (or an array) into folder_path ("" for the receive folder) of the
    store named store ("" for the default). Sinks hear of it at once unless
    the notification thread is on. Returns the number delivered."""
    delivered = _lib().mapisim_deliver_mail(store.encode(), folder_path.encode(),
                                            message_json.encode("utf-8"))
    if delivered < 0:
        raise MailboxError(_lib().mapisim_last_load_error().decode())
    return int(delivered)


def set_notification_thread(on: bool) -> None:
    """Calls sinks on a thread of the stand-in (as MAPI does) instead of inside the changing call."""
    _lib().mapisim_set_notification_thread(1 if on else 0)


def wait_for_notifications() -> None:
    _lib().mapisim_wait_for_notifications()


def clear_call_log() -> None:
    _lib().mapisim_call_log_clear()


def live_objects() -> int:
    """Stand-in MAPI objects not yet released: the same before and after code that leaks nothing."""
    return int(_lib().mapisim_live_objects())


def live_allocations() -> int:
    """MAPI allocations not yet freed."""
    return int(_lib().mapisim_live_allocations())


def header_path() -> Path:
    """mapisim.h in a source checkout."""
    return _SOURCE_ROOT / "mapisim" / "mapisim.h"
