"""Loading the library and declaring its exports.

The declarations come from _declarations.py, which is generated from the
public header; nothing here restates a signature.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from pathlib import Path
from typing import Optional

from . import _declarations

_SOURCE_ROOT = Path(__file__).resolve().parents[3]

if sys.platform == "win32":
    _LIBRARY_SHORT = "OrviMapi"
    _LIBRARY_NAMES = ["OrviMapi.dll"]
    _MAPISIM_NAMES: list[str] = []
else:
    _LIBRARY_SHORT = "orvimapi"
    _LIBRARY_NAMES = ["liborvimapi.so.0", "liborvimapi.so"]
    _MAPISIM_NAMES = ["libmapisim.so.0", "libmapisim.so"]


class LibraryNotFound(OSError):
    pass


class _Loaded:
    library: Optional[ctypes.CDLL] = None
    mapisim: Optional[ctypes.CDLL] = None
    library_path: Optional[str] = None


def _build_dirs() -> list[Path]:
    # A source checkout: the binding sits in bindings/python of the tree that
    # was built into build/.
    override = os.environ.get("ORVIMAPI_BUILD_DIR")
    dirs = [Path(override)] if override else []
    dirs.append(_SOURCE_ROOT / "build")
    return dirs


def _find(names: list[str], short: str, env: str, near: Optional[str]) -> list[str]:
    explicit = os.environ.get(env)
    if explicit:
        return [explicit]
    candidates = []
    if near:
        candidates += [str(Path(near).parent / name) for name in names]
    for directory in _build_dirs():
        candidates += [str(directory / name) for name in names if (directory / name).exists()]
    found = ctypes.util.find_library(short)
    if found:
        candidates.append(found)
    # Left to the dynamic loader's own search (LD_LIBRARY_PATH, ld.so.cache).
    candidates += names
    return candidates


def _open(candidates: list[str]) -> tuple[ctypes.CDLL, str]:
    errors = []
    for candidate in candidates:
        if os.sep in candidate and not os.path.exists(candidate):
            continue
        try:
            return ctypes.CDLL(candidate), candidate
        except OSError as error:
            errors.append(f"{candidate}: {error}")
    raise LibraryNotFound("cannot load OrviMapi; set ORVIMAPI_LIBRARY to its path. Tried: "
                          + "; ".join(errors or candidates))


def _declare(library: ctypes.CDLL) -> None:
    for name, (result, params) in _declarations.FUNCTIONS.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = [ctype for _, ctype in params]


def load(library_path: Optional[str] = None) -> ctypes.CDLL:
    """The library, loaded and declared once per process.

    Looks in this order: library_path, $ORVIMAPI_LIBRARY, the source tree's
    build/ (or $ORVIMAPI_BUILD_DIR), then the system's library search. Where
    the library runs on the stand-in MAPI, the stand-in found beside it (or
    at $ORVIMAPI_MAPISIM_LIBRARY) is loaded first, so that both share it.
    """
    if _Loaded.library is not None:
        return _Loaded.library
    if library_path:
        os.environ.setdefault("ORVIMAPI_LIBRARY", library_path)
    candidates = _find(_LIBRARY_NAMES, _LIBRARY_SHORT, "ORVIMAPI_LIBRARY", None)
    if _MAPISIM_NAMES:
        near = next((c for c in candidates if os.sep in c and os.path.exists(c)), None)
        _Loaded.mapisim, _ = _open(_find(_MAPISIM_NAMES, "mapisim", "ORVIMAPI_MAPISIM_LIBRARY", near))
    library, path = _open(candidates)
    _declare(library)
    _Loaded.library, _Loaded.library_path = library, path
    return library


def mapisim_library() -> ctypes.CDLL:
    load()
    if _Loaded.mapisim is None:
        raise LibraryNotFound("the stand-in MAPI exists only where OrviMapi runs on it (not Windows)")
    return _Loaded.mapisim


def loaded_path() -> Optional[str]:
    return _Loaded.library_path
