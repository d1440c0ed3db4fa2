"""OrviMapi from Python: Extended MAPI sessions, stores, folders and messages.

>>> import orvimapi
>>> with orvimapi.Session() as session:
...     with session.default_store() as store, store.folder_by_type(orvimapi.FolderType.INBOX) as inbox:
...         for info in inbox.messages():
...             print(info.delivered, info.sender_name, info.subject)

Failures raise OrviMapiError, which carries the library's last-error text and
the HRESULT. The raw functions, declared with the header's types, are in
orvimapi.native; the stand-in's test controls (Linux) in orvimapi.mapisim.
"""
from __future__ import annotations

import ctypes as _ctypes

from . import _declarations
from ._native import LibraryNotFound, load, loaded_path
from ._objects import (Address, Attachment, Contact, Folder, FolderInfo, FolderType, Message, MessageInfo,
                       MessageProperties, Notification, Session, Store, StoreInfo, Subscription,
                       last_error)
from .errors import OrviMapiError

__version__ = ".".join(str(part) for part in _declarations.VERSION)

__all__ = [
    "Address", "Attachment", "Contact", "Folder", "FolderInfo", "FolderType", "LibraryNotFound", "Message",
    "MessageInfo", "MessageProperties", "Notification", "OrviMapiError", "Session", "Store",
    "StoreInfo", "Subscription",
    "last_error", "load", "loaded_path", "native", "records",
]

records = _declarations


def native() -> _ctypes.CDLL:
    """The loaded library with every export declared (argtypes and restype)."""
    return load()

