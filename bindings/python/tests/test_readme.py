"""The README's examples are the files the tests build and run."""
from __future__ import annotations

import re
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]


def test_readme_examples_are_the_tested_files() -> None:
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"<!-- (examples/\S+) -->\n```\w*\n(.*?)```", readme, re.S)
    assert len(blocks) >= 2
    for path, code in blocks:
        assert code == (ROOT / path).read_text(encoding="utf-8"), f"README's copy of {path} differs"
