"""The declarations cannot drift from the header and the export list."""
from __future__ import annotations

import ctypes
import importlib.util
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

from orvimapi import _declarations as d

ROOT = Path(__file__).resolve().parents[3]
GENERATOR = ROOT / "scripts" / "generate_bindings.py"


def _generator():  # type: ignore[no-untyped-def]
    spec = importlib.util.spec_from_file_location("generate_bindings", GENERATOR)
    module = importlib.util.module_from_spec(spec)
    assert spec.loader is not None
    sys.modules["generate_bindings"] = module  # its dataclasses look themselves up there
    spec.loader.exec_module(module)
    return module


def test_generated_files_are_current() -> None:
    # Fails after a change to OrviMapi.h or src/OrviMapi.exports until
    # `python3 scripts/generate_bindings.py` is run and its output committed.
    result = subprocess.run([sys.executable, str(GENERATOR), "--check"], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr


def test_every_listed_export_is_declared_with_the_header_arity() -> None:
    gen = _generator()
    listed = gen.read_export_list()
    assert sorted(d.FUNCTIONS) == sorted(listed)
    for function in gen.parse_header().functions:
        assert [name for name, _ in d.FUNCTIONS[function.name][1]] == [p.name for p in function.params]


def test_unknown_c_types_stop_the_generator(tmp_path: Path) -> None:
    gen = _generator()
    header = tmp_path / "OrviMapi.h"
    header.write_text(gen.HEADER.read_text() .replace(
        "ORVIMAPI_EXTERN(void) OrviMapiStop(void);",
        "ORVIMAPI_EXTERN(void) OrviMapiStop(struct Unknown *thing);"))
    with pytest.raises(gen.HeaderError, match="Unknown"):
        gen.generate_python(gen.parse_header(header))


def test_list_and_header_must_agree() -> None:
    gen = _generator()
    header = gen.parse_header()
    with pytest.raises(gen.HeaderError, match="OrviMapiNotThere"):
        gen.check_against_list(header, gen.read_export_list() + ["OrviMapiNotThere"])


def test_record_layouts() -> None:
    pointer = ctypes.sizeof(ctypes.c_void_p)
    assert ctypes.sizeof(d.OrviMapiSystemTime) == 16
    # 57 slots of 32 bits on a 32-bit build; each of the 14 pointers adds
    # 4 bytes and its alignment on a 64-bit one.
    if pointer == 4:
        assert ctypes.sizeof(d.MsgPropsRecord) == 57 * 4
    assert d.MsgAttachRecord.reserved6to9.size == 16
    assert d.ContactRecord.email3Address.offset == ctypes.sizeof(d.ContactRecord) - pointer


def test_the_library_exports_every_declared_function(mapisim) -> None:  # type: ignore[no-untyped-def]
    import orvimapi
    lib = orvimapi.native()
    for name, (result, params) in d.FUNCTIONS.items():
        function = getattr(lib, name)
        assert function.restype is result and len(function.argtypes) == len(params)


def test_stand_in_controls_match_its_header(mapisim) -> None:  # type: ignore[no-untyped-def]
    import re
    declared = set(re.findall(r"^MAPISIM_EXPORT [^(]*?\b(mapisim_\w+)\(", mapisim.header_path().read_text(), re.M))
    # A control the loaded stand-in lacks is one it is older than; any other
    # must be declared as the package declares it.
    lib = mapisim._lib()
    assert {name for name in mapisim._CONTROLS if hasattr(lib, name)} <= declared


def test_wheel_builds_offline(tmp_path: Path) -> None:
    sys.path.insert(0, str(ROOT / "bindings" / "python" / "backend"))
    try:
        import orvimapi_build
    finally:
        sys.path.pop(0)
    name = orvimapi_build.build_wheel(str(tmp_path))
    version = ".".join(map(str, d.VERSION))
    assert name == f"orvimapi-{version}-py3-none-any.whl"
    with zipfile.ZipFile(tmp_path / name) as wheel:
        names = set(wheel.namelist())
        record = wheel.read(f"orvimapi-{version}.dist-info/RECORD").decode()
    assert {"orvimapi/__init__.py", "orvimapi/_declarations.py", "orvimapi/py.typed"} <= names
    assert all(line.split(",")[0] in names for line in record.splitlines())
