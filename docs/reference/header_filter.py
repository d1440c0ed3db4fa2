#!/usr/bin/env python3
"""Doxygen input filter: reads OrviMapi.h's plain comments as documentation.

The header keeps ordinary C comments, so that it reads well as a header.
This filter turns them into Doxygen's, keeping every line where it is so
that warnings name the header's own lines:
- the file's opening comment becomes the main page;
- a banner "/* ---- Title ----" opens a section of a subsystem's page;
- a comment that ends on the line before a declaration documents it;
- a comment after a declaration on its line documents that declaration.
"""
from __future__ import annotations

import re
import sys

# One page per subsystem; a section goes to the first subsystem whose
# keyword its title contains.
SUBSYSTEMS = [
    ("types", "Handles and records", ("handle", "record")),
    ("notifications", "Notifications", ("notif", "advise")),
    ("addressbook", "Address book and contacts", ("address book", "contact", "ab ")),
    ("messages", "Messages", ("message", "msg")),
    ("folders", "Folders", ("folder",)),
    ("stores", "Message stores", ("store", "named propert", "entry")),
    ("session", "Session, last error, profiles and release", ("",)),
]

BANNER = re.compile(r"^/\* -+ (?P<title>.*?) -*\s*(?P<close>\*/)?\s*$")


def subsystem(title: str) -> str:
    lowered = title.lower()
    for slug, _, keywords in SUBSYSTEMS:
        if any(keyword in lowered for keyword in keywords):
            return slug
    return SUBSYSTEMS[-1][0]


def filter_header(lines: list[str]) -> list[str]:
    out = list(lines)
    in_section = False
    group = ""
    index = 0
    first_comment = True
    while index < len(out):
        line = out[index]
        banner = BANNER.match(line)
        if banner:
            title = banner.group("title").strip()
            close = "/*@}*/ " if in_section else ""
            group = subsystem(title)
            # A member group headed by the banner's title; its members join
            # the subsystem's page through @ingroup.
            out[index] = f"{close}/** @name {title}" + (" */ /*@{*/" if banner.group("close") else "")
            if not banner.group("close"):
                end = index + 1
                while "*/" not in lines[end]:
                    end += 1
                out[end] = out[end].replace("*/", "*/ /*@{*/", 1)
                index = end
            in_section = True
            first_comment = False
        elif line.startswith("/*") and not line.startswith("/**"):
            end = index
            while "*/" not in lines[end]:
                end += 1
            if first_comment:
                groups = " ".join(f"/** @defgroup {slug} {name} */" for slug, name, _ in SUBSYSTEMS)
                out[index] = "/** @mainpage OrviMapi " + line[2:].strip()
                out[end] += f" /** @file OrviMapi.h The public interface. */ {groups}"
                first_comment = False
            else:
                out[index] = "/**" + line[2:]
                if in_section:
                    out[end] = out[end].replace("*/", f"@ingroup {group} */", 1)
            index = end
        else:
            # A comment after code on its line documents that code.
            out[index] = re.sub(r"(\S.*?;.*?)/\*(?!\*)", r"\1/**<", line, count=1)
        index += 1
    if in_section:
        out.append("/*@}*/")
    return out


def main() -> int:
    with open(sys.argv[1], encoding="utf-8") as source:
        lines = source.read().split("\n")
    sys.stdout.write("\n".join(filter_header(lines)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
