#!/usr/bin/env python3
"""Compares the project's own MAPI and Win32 declarations (mapisim/decl/)
with the mingw-w64 headers: every integer constant both define must have
the same value, and every structure the same size and member offsets.

A program built for Linux (-m32 for i686) against our declarations prints
the facts; each becomes a static_assert that a mingw-w64 compile of the real
headers must pass, so nothing runs under Wine and i686 is checked too.
Usage: compare-decl.py [i686|x86_64]
"""
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DECL = [os.path.join(ROOT, "mapisim", "decl", name) for name in ("mapi.h", "mapitags.h", "win32.h")]
REAL_HEADERS = """#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <mapix.h>
#include <mapiutil.h>
#include <mapidefs.h>
#include <mapicode.h>
#include <mapitags.h>
"""


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed:\n{result.stderr[-3000:]}")
    return result


def our_linux_part(text):
    """The declarations of the non-Windows branch (after '#else' of '_WIN32')."""
    start = text.find("#else")
    return text[start:] if "#if defined(_WIN32)" in text and start >= 0 else text


def main():
    arch = sys.argv[1] if len(sys.argv) > 1 else "x86_64"
    linux_flags = ["-m32"] if arch == "i686" else []
    mingw = f"{arch}-w64-mingw32-g++-posix"
    texts = [our_linux_part(open(path).read()) for path in DECL]
    with tempfile.TemporaryDirectory() as tmp:
        # Constants: the names both sides define.
        header = os.path.join(tmp, "real.h")
        with open(header, "w") as out:
            out.write(REAL_HEADERS)
        real_macros = set(re.findall(r"^#define (\w+)", run([mingw, "-E", "-dM", "-x", "c++", header]).stdout, re.M))
        names = [n for text in texts for n in re.findall(r"^#define (\w+) +\S", text, re.M)]
        names = sorted({n for n in names if n in real_macros})
        # Structures: top-level members of our typedef'd structures and unions.
        structs = []
        for text in texts:
            for match in re.finditer(r"typedef (?:struct|union) \w* *\{([^{}]*(?:\{[^{}]*\}[^{}]*)*)\} *(\w+)", text):
                body, name = match.group(1), match.group(2)
                depth, members = 0, []
                for part in body.split(";"):
                    part = part.strip()
                    if depth == 0 and "{" not in part and part:
                        member = re.search(r"(\w+)(\[[^\]]*\])?\s*$", part)
                        if member:
                            members.append(member.group(1))
                    depth += part.count("{") - part.count("}")
                structs.append((name, members))
        program = ["#include <cstdio>", "#include <cstddef>", "#include <type_traits>", "#include HEADER",
                   "template <class T> void value(const char* n, T v)",
                   "{ if constexpr (std::is_integral_v<T>) std::printf(\"%s %lld\\n\", n, (long long)v); }",
                   "int main() {"]
        program += [f'  value("{n}", {n});' for n in names]
        for name, members in structs:
            program.append(f'  std::printf("sizeof {name} %zu\\n", sizeof({name}));')
            program += [f'  std::printf("{name}.{m} %zu\\n", offsetof({name}, {m}));' for m in members]
        program.append("}")
        source = os.path.join(tmp, "facts.cpp")
        with open(source, "w") as out:
            out.write("\n".join(program) + "\n")
        linux_exe = os.path.join(tmp, "facts")
        run(["g++", "-std=c++20", "-w", *linux_flags, f"-I{ROOT}",
             '-DHEADER="mapisim/decl/mapitags.h"', source, "-o", linux_exe])
        facts = run([linux_exe]).stdout.splitlines()
        checks = [REAL_HEADERS, "#include <cstddef>"]
        for line in facts:
            what, number = line.rsplit(" ", 1)
            if what.startswith("sizeof "):
                expression = f"sizeof({what[7:]})"
            elif "." in what:
                struct, member = what.split(".")
                expression = f"offsetof({struct}, {member})"
            else:
                expression = f"(long long)({what})"
            checks.append(f'static_assert({expression} == {number}LL, "{what}: ours {number}");')
        check_source = os.path.join(tmp, "check.cpp")
        with open(check_source, "w") as out:
            out.write("\n".join(checks) + "\n")
        result = subprocess.run([mingw, "-std=c++20", "-w", "-fsyntax-only", check_source],
                                capture_output=True, text=True)
    if result.returncode != 0:
        failed = re.findall(r'static assertion failed: (.*)', result.stderr)
        print(f"decl ({arch}): {len(failed)} difference(s) from the mingw-w64 headers:")
        print("\n".join(f"  {f}" for f in failed) or result.stderr[-3000:])
        return 1
    print(f"decl ({arch}): {len(names)} constants and {len(structs)} structures "
          f"({len(facts) - len(names)} sizes and offsets) agree with the mingw-w64 headers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
