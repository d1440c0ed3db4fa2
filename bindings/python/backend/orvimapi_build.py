"""A minimal build backend: a pure-Python wheel of the orvimapi package.

The package has no compiled code and no dependencies, so a wheel is the
package's files plus its metadata; writing it here keeps installation
offline. The version is the one the declarations were generated with.
"""
from __future__ import annotations

import base64
import hashlib
import io
import re
import tarfile
import zipfile
from pathlib import Path
from typing import Optional

HERE = Path(__file__).resolve().parent.parent
NAME = "orvimapi"


def _version() -> str:
    text = (HERE / NAME / "_declarations.py").read_text(encoding="utf-8")
    match = re.search(r"^VERSION = \((\d+), (\d+), (\d+)\)", text, re.M)
    if not match:
        raise RuntimeError("orvimapi/_declarations.py has no VERSION")
    return ".".join(match.groups())


def _package_files() -> list[Path]:
    return sorted(p for p in (HERE / NAME).rglob("*")
                  if p.is_file() and "__pycache__" not in p.parts and p.suffix in (".py", ".typed"))


def _metadata(version: str) -> str:
    readme = HERE / "README.md"
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {NAME}",
        f"Version: {version}",
        "Summary: Python binding of OrviMapi, a flat interface to Extended MAPI",
        "License: MIT",
        "Requires-Python: >=3.9",
        "Description-Content-Type: text/markdown",
    ]
    body = readme.read_text(encoding="utf-8") if readme.exists() else ""
    return "\n".join(lines) + "\n\n" + body


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings: Optional[dict] = None) -> list[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[dict] = None) -> list[str]:
    return []


def build_wheel(wheel_directory: str, config_settings: Optional[dict] = None,
                metadata_directory: Optional[str] = None) -> str:
    version = _version()
    dist_info = f"{NAME}-{version}.dist-info"
    wheel_name = f"{NAME}-{version}-py3-none-any.whl"
    entries: list[tuple[str, bytes]] = [
        (path.relative_to(HERE).as_posix(), path.read_bytes()) for path in _package_files()]
    entries.append((f"{dist_info}/METADATA", _metadata(version).encode("utf-8")))
    entries.append((f"{dist_info}/WHEEL", b"Wheel-Version: 1.0\nGenerator: orvimapi_build\n"
                    b"Root-Is-Purelib: true\nTag: py3-none-any\n"))
    license_file = HERE.parent.parent / "LICENSE"
    if license_file.exists():
        entries.append((f"{dist_info}/LICENSE", license_file.read_bytes()))
    record = [_record_line(name, data) for name, data in entries] + [f"{dist_info}/RECORD,,"]
    entries.append((f"{dist_info}/RECORD", ("\n".join(record) + "\n").encode()))
    with zipfile.ZipFile(Path(wheel_directory) / wheel_name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in entries:
            wheel.writestr(name, data)
    return wheel_name


def build_sdist(sdist_directory: str, config_settings: Optional[dict] = None) -> str:
    version = _version()
    base = f"{NAME}-{version}"
    with tarfile.open(Path(sdist_directory) / f"{base}.tar.gz", "w:gz") as sdist:
        for path in _package_files() + [HERE / "pyproject.toml", HERE / "README.md",
                                        HERE / "backend" / "orvimapi_build.py"]:
            if path.exists():
                sdist.add(path, f"{base}/{path.relative_to(HERE).as_posix()}")
        pkg_info = _metadata(version).encode("utf-8")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        info.size = len(pkg_info)
        sdist.addfile(info, io.BytesIO(pkg_info))
    return f"{base}.tar.gz"
