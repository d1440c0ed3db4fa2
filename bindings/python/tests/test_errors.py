"""OrviMapiError reads the last-error text the library writes."""
from __future__ import annotations

import pytest

from orvimapi import OrviMapiError

RECORD = "\n\nError Loc: src/stores/store_table.cpp#47 \nError Text: {text} \nError Code: {code}"


@pytest.mark.parametrize("code, hresult", [
    ("Facility ITF, Error Num 271", 0x8004010F),
    ("Facility WIN32, Error Num 5", 0x80070005),
    ("Facility NULL, Error Num 16389", 0x80004005),
    ("Facility STORAGE", 0x80030000),
    ("Facility N/A, Error Num 3", None),
    ("none", None),
])
def test_hresult_rebuilt_from_the_recorded_code(code: str, hresult: int) -> None:
    error = OrviMapiError("OrviMapiX", -1, RECORD.format(text="Some text", code=code))
    assert error.hresult == hresult
    assert error.code == ("" if code == "none" else code)


def test_a_returned_hresult_wins_over_the_record() -> None:
    error = OrviMapiError("OrviMapiX", -2147024809, RECORD.format(text="none", code="Facility ITF, Error Num 1"))
    assert error.hresult == 0x80070057 and error.text == ""
    assert str(error) == "OrviMapiX failed (0x80070057)"


def test_texts_spanning_lines_and_an_empty_record() -> None:
    error = OrviMapiError("OrviMapiX", -1, RECORD.format(text="First line.\r\nSecond line.", code="none"))
    assert error.text == "First line.\r\nSecond line." and error.location == "src/stores/store_table.cpp#47"
    empty = OrviMapiError("OrviMapiX", -1, "")
    assert (empty.text, empty.location, empty.hresult) == ("", "", None)
    assert str(empty) == "OrviMapiX failed"
