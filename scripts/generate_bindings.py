#!/usr/bin/env python3
"""Writes the language declarations of OrviMapi from its public header.

    python3 scripts/generate_bindings.py           write the files
    python3 scripts/generate_bindings.py --check   exit 1 when a file is stale

Outputs:
    bindings/python/orvimapi/_declarations.py  ctypes records and signatures
    examples/csharp/OrviMapi.cs                 C# DllImport declarations

The header is the contract and src/OrviMapi.exports the exported set; the
two must name the same functions, and every C type the header uses must have
a mapping below, so a new export either gets its declarations here or stops
the build with a message saying what is missing.
"""
from __future__ import annotations

import argparse
import re
import sys
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
HEADER = ROOT / "include" / "OrviMapi.h"
EXPORT_LIST = ROOT / "src" / "OrviMapi.exports"
PYTHON_OUT = ROOT / "bindings" / "python" / "orvimapi" / "_declarations.py"
CSHARP_OUT = ROOT / "examples" / "csharp" / "OrviMapi.cs"


class HeaderError(Exception):
    pass


@dataclass
class Param:
    ctype: str  # normalised: "const char *", "uint32_t *", "OrviMapiStore *"
    name: str


@dataclass
class Function:
    name: str
    result: str
    params: list[Param]


@dataclass
class Field:
    ctype: str
    name: str
    count: int  # 0 for a scalar, N for an array of N


@dataclass
class Header:
    version: tuple[int, int, int]
    handles: list[str]
    records: dict[str, list[Field]]
    callbacks: dict[str, Function]
    functions: list[Function]


def normalise_type(text: str) -> str:
    text = re.sub(r"\s+", " ", text.strip())
    text = re.sub(r"\s*\*\s*", " *", text)
    return text.replace("* *", "**").strip()


def split_declaration(text: str) -> Param:
    text = text.strip()
    match = re.fullmatch(r"(.*?)([A-Za-z_][A-Za-z0-9_]*)", text, re.S)
    if not match or not match.group(1).strip():
        raise HeaderError(f"cannot read the parameter {text!r}")
    return Param(normalise_type(match.group(1)), match.group(2))


def split_params(text: str) -> list[Param]:
    text = text.strip()
    if text in ("", "void"):
        return []
    return [split_declaration(part) for part in text.split(",")]


def parse_header(path: Path = HEADER) -> Header:
    source = path.read_text(encoding="utf-8")
    parts = [re.search(rf"^#define ORVIMAPI_VERSION_{part} (\d+)", source, re.M)
             for part in ("MAJOR", "MINOR", "PATCH")]
    if not all(parts):
        raise HeaderError("the header lacks ORVIMAPI_VERSION_MAJOR/MINOR/PATCH")
    version = tuple(int(p.group(1)) for p in parts if p)
    source = re.sub(r"/\*.*?\*/", " ", source, flags=re.S)
    source = re.sub(r"^\s*#.*$", " ", source, flags=re.M)

    handles = re.findall(r"typedef\s+struct\s+\w+_\s*\*\s*(\w+)\s*;", source)
    records: dict[str, list[Field]] = {}
    for name, body, alias in re.findall(r"typedef\s+struct\s+(\w+)\s*\{(.*?)\}\s*(\w+)\s*;",
                                        source, flags=re.S):
        if name != alias:
            raise HeaderError(f"record {name} is typedef'd as {alias}")
        fields = []
        for line in body.split(";"):
            if not line.strip():
                continue
            array = re.fullmatch(r"(.*?)\[(\d+)\]\s*", line, re.S)
            param = split_declaration(array.group(1) if array else line)
            fields.append(Field(param.ctype, param.name, int(array.group(2)) if array else 0))
        records[name] = fields
    callbacks = {}
    for result, name, params in re.findall(
            r"typedef\s+([\w\s\*]+?)\s*\(\s*ORVIMAPI_CALLBACK\s*\*\s*(\w+)\s*\)\s*\((.*?)\)\s*;",
            source, flags=re.S):
        callbacks[name] = Function(name, normalise_type(result), split_params(params))
    functions = []
    for result, name, params in re.findall(
            r"ORVIMAPI_EXTERN\s*\(([^)]*)\)\s*(\w+)\s*\((.*?)\)\s*;", source, flags=re.S):
        functions.append(Function(name, normalise_type(result), split_params(params)))
    return Header((version[0], version[1], version[2]), handles, records, callbacks, functions)


def read_export_list(path: Path = EXPORT_LIST) -> list[str]:
    names = []
    for line in path.read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if line and not line.startswith("#"):
            names.append(line)
    return names


def check_against_list(header: Header, exports: list[str]) -> None:
    declared = {f.name for f in header.functions}
    listed = set(exports)
    problems = []
    if listed - declared:
        problems.append("listed but not declared in OrviMapi.h: " + ", ".join(sorted(listed - declared)))
    if declared - listed:
        problems.append("declared in OrviMapi.h but not listed: " + ", ".join(sorted(declared - listed)))
    if problems:
        raise HeaderError("; ".join(problems))


# ---- Python (ctypes) ---------------------------------------------------------

_PY_SCALARS = {
    "void": "None",
    "char": "ctypes.c_char",
    "unsigned char": "ctypes.c_ubyte",
    "int32_t": "ctypes.c_int32",
    "uint32_t": "ctypes.c_uint32",
    "uint16_t": "ctypes.c_uint16",
    "uintptr_t": "ctypes.c_size_t",
}


def python_type(ctype: str, header: Header, where: str, in_record: bool = False) -> str:
    bare = ctype.replace("const ", "")
    if bare in _PY_SCALARS:
        return _PY_SCALARS[bare]
    if bare in header.handles:
        return "ctypes.c_void_p"
    if bare in header.records:
        return bare
    if bare in header.callbacks:
        return bare
    if bare in ("char *", "unsigned char *"):
        # Texts and byte buffers handed in: bytes or a ctypes buffer. Inside
        # records they are pointers into MAPI memory, read with their length.
        if in_record:
            return "ctypes.POINTER(ctypes.c_char)"
        return "ctypes.c_char_p"
    if bare.endswith(" *"):
        return f"ctypes.POINTER({python_type(bare[:-2], header, where, True)})"
    if bare.endswith("*"):
        return f"ctypes.POINTER({python_type(bare[:-1].strip(), header, where, True)})"
    raise HeaderError(f"{where}: no Python mapping for the C type {ctype!r}; "
                      "add one to scripts/generate_bindings.py")


def record_order(header: Header) -> list[str]:
    # Records that embed others come after them.
    ordered: list[str] = []

    def visit(name: str) -> None:
        if name in ordered:
            return
        for field in header.records[name]:
            if field.ctype in header.records:
                visit(field.ctype)
        ordered.append(name)

    for name in header.records:
        visit(name)
    return ordered


def generate_python(header: Header) -> str:
    out = [
        '"""ctypes declarations of every OrviMapi export and record.',
        "",
        "Generated by scripts/generate_bindings.py from include/OrviMapi.h; do not",
        'edit. Run the script again after changing the header."""',
        "import ctypes",
        "import sys",
        "",
        "if sys.platform == 'win32':",
        "    _CALLBACK_TYPE = ctypes.WINFUNCTYPE  # stdcall",
        "else:",
        "    _CALLBACK_TYPE = ctypes.CFUNCTYPE",
        "",
        f"VERSION = {header.version!r}",
        "",
        "HANDLES = (" + "".join(f"{name!r}, " for name in header.handles) + ")",
        "",
    ]
    for name in record_order(header):
        out.append("")
        out.append(f"class {name}(ctypes.Structure):")
        out.append("    _fields_ = [")
        for field in header.records[name]:
            ptype = python_type(field.ctype, header, f"{name}.{field.name}", in_record=True)
            if field.count:
                ptype = f"{ptype} * {field.count}"
            out.append(f"        ({field.name!r}, {ptype}),")
        out.append("    ]")
        out.append("")
    for name, callback in header.callbacks.items():
        args = [python_type(p.ctype, header, f"{name}({p.name})") for p in callback.params]
        result = python_type(callback.result, header, name)
        out.append("")
        out.append(f"{name} = _CALLBACK_TYPE(")
        out.append(f"    {result},")
        out.extend(f"    {arg},  # {p.name}" for arg, p in zip(args, callback.params))
        out.append(")")
    out.append("")
    out.append("# name: (result type, [(parameter name, type), ...])")
    out.append("FUNCTIONS = {")
    for function in header.functions:
        result = python_type(function.result, header, function.name)
        out.append(f"    {function.name!r}: ({result}, [")
        for p in function.params:
            out.append(f"        ({p.name!r}, {python_type(p.ctype, header, f'{function.name}({p.name})')}),")
        out.append("    ]),")
    out.append("}")
    return "\n".join(out) + "\n"


# ---- C# (DllImport) ------------------------------------------------------------

_CS_SCALARS = {
    "void": "void",
    "int32_t": "int",
    "uint32_t": "uint",
    "uint16_t": "ushort",
    "uintptr_t": "UIntPtr",
    "char": "byte",
    "unsigned char": "byte",
}


def csharp_field(field: Field, header: Header, record: str) -> str:
    bare = field.ctype.replace("const ", "")
    if field.count:
        element = _CS_SCALARS.get(bare)
        if element is None:
            raise HeaderError(f"{record}.{field.name}: no C# mapping for arrays of {field.ctype!r}")
        return (f"[MarshalAs(UnmanagedType.ByValArray, SizeConst = {field.count})] "
                f"public {element}[] {field.name};")
    if bare in _CS_SCALARS:
        return f"public {_CS_SCALARS[bare]} {field.name};"
    if bare in header.records:
        return f"public {bare} {field.name};"
    if bare.endswith("*") or bare in header.handles:
        return f"public IntPtr {field.name};"
    raise HeaderError(f"{record}.{field.name}: no C# mapping for {field.ctype!r}; "
                      "add one to scripts/generate_bindings.py")


def csharp_param(p: Param, header: Header, where: str) -> str:
    bare = p.ctype.replace("const ", "")
    is_const = p.ctype.startswith("const ")
    out = p.name.endswith("Out") or p.name in ("isSame", "isDefault")
    direction = "out" if out else "ref"
    if bare in _CS_SCALARS:
        return f"{_CS_SCALARS[bare]} {p.name}"
    if bare in header.handles or bare in header.callbacks:
        return f"{'IntPtr' if bare in header.handles else bare} {p.name}"
    if bare == "char *":
        return f"string {p.name}" if is_const else f"StringBuilder {p.name}"
    if bare == "unsigned char *":
        return f"byte[] {p.name}"
    if bare == "unsigned char **":
        return f"{direction} IntPtr {p.name}"
    if bare.endswith(" *"):
        target = bare[:-2]
        if target in header.handles:
            return f"{direction} IntPtr {p.name}"
        if target in header.records:
            return f"ref {target} {p.name}"
        if target in _CS_SCALARS:
            return f"{direction} {_CS_SCALARS[target]} {p.name}"
    raise HeaderError(f"{where}: no C# mapping for {p.ctype!r}; add one to scripts/generate_bindings.py")


def generate_csharp(header: Header) -> str:
    out = [
        "// DllImport declarations of every OrviMapi export and record.",
        "// Generated by scripts/generate_bindings.py from include/OrviMapi.h; do not edit.",
        "//",
        "// Every export is cdecl with 8-bit (ANSI) texts; the notification callback is",
        "// stdcall. The records are laid out with Pack = 4 as the 32-bit DLL (i686) lays",
        "// them out, which is the build .NET applications should load: run them as",
        "// 32-bit processes (PlatformTarget x86, or \"Prefer 32-bit\"), since MAPI's",
        "// providers live in the bitness of the installed Outlook. For the x86_64 DLL",
        "// in a 64-bit process, remove Pack = 4 (natural alignment) so that the",
        "// pointer fields take 8 bytes at 8-byte offsets.",
        "//",
        "// Texts and identifiers in records point into the row set or property array",
        "// they were read from: copy them (Marshal.PtrToStringAnsi(ptr, length),",
        "// Marshal.Copy) before releasing it.",
        "using System;",
        "using System.Runtime.InteropServices;",
        "using System.Text;",
        "",
        "namespace OrviMapi",
        "{",
    ]
    for name in record_order(header):
        out.append("    [StructLayout(LayoutKind.Sequential, Pack = 4)]")
        out.append(f"    public struct {name}")
        out.append("    {")
        for field in header.records[name]:
            out.append("        " + csharp_field(field, header, name))
        out.append("    }")
        out.append("")
    for name, callback in header.callbacks.items():
        # Every pointer the callback receives is valid only during the call.
        params = ", ".join(f"{_CS_SCALARS.get(p.ctype, 'IntPtr')} {p.name}" for p in callback.params)
        out.append("    [UnmanagedFunctionPointer(CallingConvention.StdCall)]")
        out.append(f"    public delegate {_CS_SCALARS[callback.result]} {name}({params});")
        out.append("")
    out.append("    public static class Native")
    out.append("    {")
    out.append('        public const string Library = "OrviMapi.dll";')
    out.append(f'        public const string Version = "{".".join(map(str, header.version))}";')
    for function in header.functions:
        params = ", ".join(csharp_param(p, header, function.name) for p in function.params)
        out.append("")
        out.append("        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, "
                   "CharSet = CharSet.Ansi, ExactSpelling = true)]")
        out.append(f"        public static extern {_CS_SCALARS[function.result]} {function.name}({params});")
    out.append("    }")
    out.append("}")
    return "\n".join(out) + "\n"


def outputs() -> dict[Path, str]:
    header = parse_header()
    check_against_list(header, read_export_list())
    return {PYTHON_OUT: generate_python(header), CSHARP_OUT: generate_csharp(header)}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="only report stale files")
    args = parser.parse_args()
    try:
        files = outputs()
    except HeaderError as error:
        print(f"generate_bindings: {error}", file=sys.stderr)
        return 1
    stale = [path for path, text in files.items()
             if not path.exists() or path.read_text(encoding="utf-8") != text]
    if args.check:
        for path in stale:
            print(f"{path.relative_to(ROOT)} is stale: run python3 scripts/generate_bindings.py")
        return 1 if stale else 0
    for path in stale:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(files[path], encoding="utf-8")
        print(f"wrote {path.relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
