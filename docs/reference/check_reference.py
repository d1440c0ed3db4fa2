#!/usr/bin/env python3
"""Checks Doxygen's XML: every listed export and every record is documented
and sits on a subsystem's page.

Usage: check_reference.py DOCS_DIR EXPORT_LIST
"""
from __future__ import annotations

import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def described(element: ET.Element) -> bool:
    text = "".join("".join(part.itertext()) for tag in ("briefdescription", "detaileddescription")
                   for part in element.findall(tag))
    return bool(text.strip())


def main() -> int:
    docs, export_list = Path(sys.argv[1]), Path(sys.argv[2])
    listed = [line.strip() for line in export_list.read_text().splitlines()
              if line.strip() and not line.strip().startswith("#")]
    documented: set[str] = set()
    grouped: set[str] = set()
    for path in (docs / "xml").glob("group__*.xml"):
        root = ET.parse(path).getroot()
        for inner in root.iter("innerclass"):  # records
            grouped.add(inner.text or "")
            documented.add(inner.text or "")
        for member in root.iter("memberdef"):
            name = member.findtext("name") or ""
            grouped.add(name)
            if described(member):
                documented.add(name)
    problems = [f"{name}: not documented" for name in listed if name not in documented]
    problems += [f"{name}: on no subsystem page" for name in listed
                 if name in documented and name not in grouped]
    records = {"FolderContentsRecord", "FolderPropsRecord", "MsgPropsRecord", "MsgAddrRecord",
               "MsgAttachRecord", "ContactRecord", "NotificationCallback"}
    problems += [f"{name}: not documented" for name in sorted(records - documented)]
    for problem in problems:
        print(problem)
    print(f"reference: {len(listed) - len([p for p in problems if p.split(':')[0] in listed])}"
          f" of {len(listed)} exports documented")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
