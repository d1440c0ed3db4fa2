"""The exception every failing call raises."""
from __future__ import annotations

import re
from typing import Optional

_FACILITIES = {
    "Facility NULL": 0, "Facility RPC": 1, "Facility DIPATCH": 2, "Facility STORAGE": 3,
    "Facility ITF": 4, "Facility WIN32": 7, "Facility WINDOWS": 8, "Facility SSPI": 9,
    "Facility CONTROL": 10, "Facility CERT": 11, "Facility INTERNET": 12,
}
_RECORD = re.compile(r"Error Loc: (?P<location>.*?) \nError Text: (?P<text>.*?) \nError Code: (?P<code>.*)\Z",
                     re.S)


def _hresult_from_code(code: str) -> Optional[int]:
    # The record keeps the facility by name and the low 16 bits; a recorded
    # failure always has the severity bit set.
    match = re.fullmatch(r"(Facility [A-Z0-9]+)(?:, Error Num (\d+))?", code)
    if not match or match.group(1) not in _FACILITIES:
        return None
    return 0x80000000 | _FACILITIES[match.group(1)] << 16 | int(match.group(2) or 0)


class OrviMapiError(Exception):
    """A failed call: the function, its result, and the library's last error.

    hresult is the failing HRESULT (an unsigned 32-bit value) when the call
    returned one or the last error names one, else None. text is the
    recorded text: the system's text for the HRESULT, or the library's own
    message for failures recorded without one.
    """

    def __init__(self, function: str, result: Optional[int], last_error: str) -> None:
        self.function = function
        self.result = result
        self.last_error = last_error
        match = _RECORD.search(last_error)
        self.location = match.group("location") if match else ""
        self.text = match.group("text").strip() if match else ""
        code = match.group("code").strip() if match else "none"
        self.code = "" if code == "none" else code
        if self.text == "none":
            self.text = ""
        if result is not None and result < -1:
            self.hresult: Optional[int] = result & 0xFFFFFFFF
        else:
            self.hresult = _hresult_from_code(self.code)
        message = f"{function} failed"
        if self.text:
            message += f": {self.text}"
        if self.hresult is not None:
            message += f" (0x{self.hresult:08X})"
        super().__init__(message)
