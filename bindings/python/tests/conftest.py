"""Tests of the binding on the stand-in MAPI with the bundled sample mailbox.

They need a built tree (build/ beside bindings/, or ORVIMAPI_BUILD_DIR /
ORVIMAPI_LIBRARY) and run where the library runs on the stand-in (Linux).
"""
from __future__ import annotations

import gc
import sys
from pathlib import Path
from typing import Iterator

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))

import orvimapi  # noqa: E402

ROOT = Path(__file__).resolve().parents[3]


@pytest.fixture
def mapisim():  # type: ignore[no-untyped-def]
    if sys.platform == "win32":
        pytest.skip("the stand-in MAPI is for Linux")
    try:
        orvimapi.load()
    except orvimapi.LibraryNotFound as error:
        pytest.skip(str(error))
    from orvimapi import mapisim as controls
    controls.reset()
    controls.load_mailbox()
    yield controls
    controls.clear_faults()


@pytest.fixture
def session(mapisim) -> Iterator[orvimapi.Session]:  # type: ignore[no-untyped-def]
    """An open session; at the end every handle the test's objects held must be back."""
    gc.collect()
    objects, allocations = mapisim.live_objects(), mapisim.live_allocations()
    with orvimapi.Session() as opened:
        yield opened
    gc.collect()
    assert (mapisim.live_objects(), mapisim.live_allocations()) == (objects, allocations)
