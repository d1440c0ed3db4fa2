"""Sessions, stores, folders, messages and attachments as Python objects.

Every handle the library hands out is owned by one Python object, which
gives it back through the matching release function when closed (they are
context managers) or, failing that, when garbage-collected. Texts and
identifiers are copied out of row sets and property arrays before those are
released, so nothing returned here points into library memory.
"""
from __future__ import annotations

import codecs
import ctypes
import datetime
import enum
import os
import platform
import sys
import weakref
from dataclasses import dataclass
from typing import Any, Callable, Iterator, Optional, Sequence, Union

from . import _declarations as d
from ._native import load
from .errors import OrviMapiError

_LAST_ERROR_SIZE = 1024
_TEXT_SIZE = 4096
_EID_BUFFER = 256  # the library's buffers for entry identifiers take no size: 256 is ample


class FolderType(enum.IntEnum):
    """The library's folder type codes."""

    OTHER = 5
    INBOX = 32
    OUTBOX = 33
    DELETED_ITEMS = 34
    CALENDAR = 35
    CONTACTS = 36
    JOURNAL = 37
    NOTES = 38
    TASKS = 39
    DRAFTS = 40
    SENT_ITEMS = 41
    STORE = 42
    TOP = 99


# ---- Calls and errors --------------------------------------------------------------


def last_error() -> str:
    """The library's last-error text ("" before any failure)."""
    lib = load()
    buf = ctypes.create_string_buffer(_LAST_ERROR_SIZE)
    length = ctypes.c_uint32()
    lib.OrviMapiGetLastError(buf, len(buf), ctypes.byref(length))
    return buf.raw[: length.value].decode("latin-1")


def _fail(function: str, result: Optional[int]) -> OrviMapiError:
    return OrviMapiError(function, result, last_error())


def _check(function: str, *args: Any) -> int:
    """Calls an export with the 0-for-success convention; raises otherwise."""
    result = getattr(load(), function)(*args)
    if result != 0:
        raise _fail(function, result)
    return 0


def _count(function: str, *args: Any) -> int:
    """Calls a reader that returns a count, or -1 for a failure."""
    result = getattr(load(), function)(*args)
    if result < 0:
        raise _fail(function, result)
    return int(result)


def _text(pointer: Any, length: int, encoding: str = "cp1252") -> str:
    if not pointer or length <= 0:
        return ""
    return ctypes.string_at(pointer, length).decode(encoding, errors="replace")


def _bytes(pointer: Any, size: int) -> bytes:
    if not pointer or size <= 0:
        return b""
    return ctypes.string_at(pointer, size)


def _time(value: d.OrviMapiSystemTime) -> Optional[datetime.datetime]:
    if value.year == 0:
        return None
    return datetime.datetime(value.year, value.month, value.day, value.hour, value.minute,
                             value.second, value.milliseconds * 1000, tzinfo=datetime.timezone.utc)


def _codec(code_page: int) -> str:
    name = "utf-8" if code_page == 65001 else f"cp{code_page}"
    try:
        return codecs.lookup(name).name
    except LookupError:
        return "cp1252"


class _Owned:
    """Owns one handle and releases it once: on close() or at collection."""

    def __init__(self, handle: Optional[int], release: Callable[[int], None]) -> None:
        self._handle = handle
        self._finalizer = weakref.finalize(self, release, handle) if handle else None

    @property
    def handle(self) -> int:
        """The raw handle, for calls of the declared functions (orvimapi.native)."""
        if not self._handle:
            raise ValueError(f"{type(self).__name__} is closed")
        return self._handle

    def close(self) -> None:
        if self._finalizer is not None:
            self._finalizer()
        self._handle = None

    @property
    def closed(self) -> bool:
        return not self._handle

    def __enter__(self):  # type: ignore[no-untyped-def]
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def _release(function: str) -> Callable[[int], None]:
    def release(handle: int) -> None:
        getattr(load(), function)(handle)
    return release


def _release_props(function: str) -> Callable[[int], None]:
    def release(handle: int) -> None:
        getattr(load(), function)(None, handle)
    return release


class _RowSet(_Owned):
    def __init__(self, handle: Optional[int]) -> None:
        super().__init__(handle, _release("OrviMapiReleaseResult"))


class _Table(_Owned):
    def __init__(self, handle: Optional[int]) -> None:
        super().__init__(handle, _release("OrviMapiReleaseTable"))


def _rows(function: str, table: _Table) -> Iterator[tuple[_RowSet, int]]:
    """Row sets from a table's batch reader, each with its row count, until the end."""
    while True:
        rows = ctypes.c_void_p()
        result = getattr(load(), function)(table.handle, ctypes.byref(rows))
        owned = _RowSet(rows.value)
        if result < 0:
            owned.close()
            raise _fail(function, result)
        if result == 0:
            owned.close()
            return
        yield owned, result


def _read_stream(stream: int) -> bytes:
    """Drains an IStream through its Read method (slot 3 of its vtable)."""
    callback_type = ctypes.WINFUNCTYPE if sys.platform == "win32" else ctypes.CFUNCTYPE  # type: ignore[attr-defined]
    read_type = callback_type(ctypes.c_int32, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32,
                              ctypes.POINTER(ctypes.c_uint32))
    vtable = ctypes.cast(ctypes.c_void_p(stream), ctypes.POINTER(ctypes.POINTER(ctypes.c_void_p)))[0]
    read = read_type(vtable[3])
    chunks = []
    buffer = ctypes.create_string_buffer(65536)
    got = ctypes.c_uint32()
    while True:
        hresult = read(stream, buffer, len(buffer), ctypes.byref(got))
        if hresult < 0:
            raise OrviMapiError("IStream::Read", hresult, "")
        if got.value == 0:
            return b"".join(chunks)
        chunks.append(buffer.raw[: got.value])


def _stream_bytes(stream: Optional[int]) -> Optional[bytes]:
    if not stream:
        return None
    owned = _Owned(stream, _release("OrviMapiReleaseStream"))
    try:
        return _read_stream(stream)
    finally:
        owned.close()


def _entry_list(entry_ids: "list[bytes]") -> tuple[d.OrviMapiEntryList, list[Any]]:
    """An entry list over the identifiers, with the buffers it points into."""
    buffers = [ctypes.create_string_buffer(bytes(eid), len(eid)) for eid in entry_ids]
    array = (d.OrviMapiBinary * max(len(buffers), 1))()
    for slot, buffer in zip(array, buffers):
        slot.size = len(buffer)
        slot.bytes = ctypes.cast(buffer, ctypes.POINTER(ctypes.c_char))
    return d.OrviMapiEntryList(len(buffers), array), [buffers, array]


# ---- Session ---------------------------------------------------------------------------


class Session:
    """The process's MAPI session, opened by OrviMapiStart and closed by OrviMapiStop.

    >>> with orvimapi.Session() as session:
    ...     inbox = session.default_store().folder_by_type(FolderType.INBOX)
    """

    def __init__(self, profile: str = "", share: bool = False) -> None:
        self.profile = profile
        self.share = share
        self._open = False

    def open(self) -> "Session":
        if not self._open:
            _check("OrviMapiStart", self.profile.encode("cp1252"), 1 if self.share else 0)
            self._open = True
        return self

    def close(self) -> None:
        if self._open:
            self._open = False
            load().OrviMapiStop()

    def __enter__(self) -> "Session":
        return self.open()

    def __exit__(self, *exc: object) -> None:
        self.close()

    @property
    def profile_name(self) -> str:
        buf = ctypes.create_string_buffer(_TEXT_SIZE)
        length = ctypes.c_uint32()
        _check("OrviMapiGetCurrentProfileName", len(buf), buf, ctypes.byref(length))
        return buf.raw[: length.value].decode("cp1252")

    @staticmethod
    def outlook_version() -> int:
        """3 for Outlook 9.0, 2 for 8.5, 1 for 8.0/8.3, 0 otherwise."""
        return int(load().OrviMapiGetClientOutlookVersion())

    def send_receive(self) -> None:
        load().OrviMapiSendReceive()

    def address_book(self) -> list[Contact]:
        """The entries of the personal address book, by display name."""
        _require("OrviMapiABGetEID")
        size, data = ctypes.c_uint32(), ctypes.POINTER(ctypes.c_char)()
        _check("OrviMapiABGetEID", ctypes.byref(size), ctypes.byref(data))
        # A MAPI buffer of its own; the property-array release frees such buffers.
        with _Owned(ctypes.cast(data, ctypes.c_void_p).value, _release_props("OrviMapiMsgPropsRelease")):
            entry_id = _bytes(data, size.value)
        container = ctypes.c_void_p()
        _check("OrviMapiABGetFolder", len(entry_id), entry_id, ctypes.byref(container))
        with _Owned(container.value, _release("OrviMapiReleaseFolder")) as owned:
            return _contact_rows("OrviMapiABContQuerySet", "OrviMapiABContQueryGetRow",
                                 "OrviMapiABContGetParam", owned.handle)

    def stores(self, all_stores: bool = True) -> list["StoreInfo"]:
        """The rows of the store table (the default store only with all_stores False)."""
        table = ctypes.c_void_p()
        _check("OrviMapiMsgStoreQuerySet", ctypes.byref(table), 1 if all_stores else 0)
        with _Table(table.value) as owned:
            return [StoreInfo(rows) for rows, _ in _rows("OrviMapiMsgStoreQueryGetRow", owned)]

    def default_store(self) -> "Store":
        for info in self.stores(all_stores=False):
            return info.open()
        raise OrviMapiError("OrviMapiMsgStoreQueryGetRow", None, "\nError Text: no default store")


class StoreInfo:
    """One row of the store table; open() opens the store."""

    def __init__(self, rows: _RowSet) -> None:
        lib = load()
        self._rows = rows
        buf = ctypes.create_string_buffer(_TEXT_SIZE)
        n = _count("OrviMapiMsgStoreResultGetDisplayName", rows.handle, len(buf), buf)
        self.display_name: str = buf.raw[:n].decode("cp1252")
        size, data = ctypes.c_uint32(), ctypes.POINTER(ctypes.c_char)()
        _check("OrviMapiMsgStoreResultGetEID", rows.handle, ctypes.byref(size), ctypes.byref(data))
        self.entry_id: bytes = _bytes(data, size.value)
        flag = ctypes.c_int32()
        self.is_default: bool = (lib.OrviMapiMsgStoreResultGetDefaultFlag(rows.handle, ctypes.byref(flag)) == 0
                                 and flag.value == 1)
        kind = ctypes.c_int32()
        self.is_exchange: bool = (lib.OrviMapiMsgStoreResultGetMsgStoreType(rows.handle, ctypes.byref(kind)) == 0
                                  and kind.value == 1)

    def open(self) -> "Store":
        store = ctypes.c_void_p()
        _check("OrviMapiMsgStoreResultOpenStore", self._rows.handle, ctypes.byref(store))
        return Store(store.value, self.display_name, self.entry_id)

    def __repr__(self) -> str:
        return f"StoreInfo({self.display_name!r}, default={self.is_default})"


# ---- Stores -------------------------------------------------------------------------------


class Store(_Owned):
    """An open message store."""

    def __init__(self, handle: Optional[int], display_name: str = "", entry_id: bytes = b"") -> None:
        super().__init__(handle, _release("OrviMapiMsgStoreRelease"))
        self.display_name = display_name
        self.entry_id = entry_id
        self._subscriptions: "weakref.WeakSet[Subscription]" = weakref.WeakSet()

    def close(self) -> None:
        # Registrations are undone on the store before it goes.
        for subscription in list(self._subscriptions):
            subscription.close()
        super().close()

    def folder_path(self, entry_id: bytes, separator: str = "/") -> str:
        """The store's name and the folders down to the folder that holds the
        message entry_id (or to the folder entry_id): "Personal Folders/Inbox"."""
        path = ctypes.create_string_buffer(_TEXT_SIZE)
        length, status = ctypes.c_int32(0), ctypes.c_int32(0)
        _check("OrviMapiMsgGetFolderPath", self.handle, len(entry_id), entry_id,
               separator.encode("cp1252"), path, len(path) - 1, ctypes.byref(length), ctypes.byref(status))
        if status.value != 0:
            raise _fail("OrviMapiMsgGetFolderPath", status.value)
        return path.raw[: length.value].decode("cp1252")

    def mark_read(self, entry_id: bytes, read: bool = True) -> None:
        """Marks the message entry_id read, or unread with read False."""
        _check("OrviMapiMsgUpdateReadFlag", self.handle, len(entry_id), entry_id, 0 if read else 1)

    def set_flag(self, entry_id: bytes, state: int, text: str = "") -> None:
        """Sets the follow-up state (0 none, 1 completed, 2 flagged) and its text."""
        _check("OrviMapiMsgUpdateMsgFlag", self.handle, len(entry_id), entry_id, state,
               text.encode("cp1252"))

    def root_folder(self) -> "Folder":
        """The top of the store's folder tree (its IPM subtree)."""
        folder, size = ctypes.c_void_p(), ctypes.c_uint32()
        eid = ctypes.create_string_buffer(_EID_BUFFER)
        _check("OrviMapiMsgStoreGetRootFolder", self.handle, ctypes.byref(folder), ctypes.byref(size), eid)
        return Folder(folder.value, self, eid.raw[: size.value])

    def folder_by_type(self, folder_type: int) -> Optional["Folder"]:
        """The first top-level folder of the type, or None."""
        folder = ctypes.c_void_p()
        _check("OrviMapiFolderFindByType", self.handle, int(folder_type), ctypes.byref(folder))
        return Folder(folder.value, self) if folder.value else None

    def folder(self, path: str) -> "Folder":
        """The folder at a path from the top ("Inbox/Clients"), matched without regard to case."""
        current = self.root_folder()
        for part in [p for p in path.split("/") if p]:
            with current:
                match = next((info for info in current.subfolders()
                              if info.name.casefold() == part.casefold()), None)
                if match is None:
                    raise KeyError(f"no folder {part!r} in {path!r}")
                current = match.open()
        return current

    def open_folder(self, entry_id: bytes) -> "Folder":
        folder = ctypes.c_void_p()
        _check("OrviMapiMsgStoreGetFolderInterface", self.handle, len(entry_id), entry_id,
               ctypes.byref(folder))
        return Folder(folder.value, self, entry_id)

    def open_message(self, entry_id: bytes) -> "Message":
        message = ctypes.c_void_p()
        _check("OrviMapiMsgStoreGetMsgInterface", self.handle, len(entry_id), entry_id,
               ctypes.byref(message))
        return Message(message.value, self)

    def subscribe(self, callback: Callable[[Notification], None]) -> Subscription:
        """Calls callback with a Notification for each new mail and each folder
        or message created, copied, deleted, modified or moved in the store."""
        if "OrviMapiAdviseMsgStoreCreate" not in d.FUNCTIONS:
            raise NotImplementedError("this build of the library has no notifications")
        if (sys.platform != "win32" and ctypes.sizeof(ctypes.c_void_p) == 4
                and platform.machine().lower() in ("i386", "i486", "i586", "i686", "x86")):
            # The callback is stdcall there, which ctypes offers on Windows only.
            raise NotImplementedError("notifications need a 64-bit Python outside Windows")
        subscription = Subscription(self, callback)
        self._subscriptions.add(subscription)
        return subscription

    def folder_type(self, entry_id: bytes) -> FolderType:
        code = _count("OrviMapiFolderGetFolderType", self.handle, len(entry_id), entry_id)
        try:
            return FolderType(code)
        except ValueError:
            return FolderType.OTHER

    def __repr__(self) -> str:
        return f"Store({self.display_name!r})"


# ---- Address book and contacts -------------------------------------------------------------


@dataclass(frozen=True)
class Contact:
    """An address-book entry or a contact item."""

    entry_id: bytes
    subject: str
    display_name: str
    company: str
    display_name_prefix: str
    given_name: str
    middle_name: str
    surname: str
    generation: str
    file_under: str
    emails: tuple[tuple[str, str], ...]  # (address type, address) of each e-mail entry given


def _require(function: str) -> None:
    if function not in d.FUNCTIONS:
        raise NotImplementedError(f"this build of the library has no {function}")


def _contact(record: d.ContactRecord, entry_id: bytes = b"") -> Contact:
    def text(name: str) -> str:
        return _text(getattr(record, name), getattr(record, name + "Length"))

    emails = []
    for n in (1, 2, 3):
        kind, address = text(f"email{n}AddressType"), text(f"email{n}Address")
        if kind or address:
            emails.append((kind, address))
    return Contact(entry_id or _bytes(record.entryId, record.entryIdSize), text("subject"),
                   text("displayName"), text("company"), text("displayNamePrefix"), text("givenName"),
                   text("middleName"), text("surname"), text("generation"), text("fileUnder"),
                   tuple(emails))


def _contact_rows(query: str, next_row: str, read: str, handle: int) -> list[Contact]:
    table = ctypes.c_void_p()
    _check(query, handle, ctypes.byref(table))
    found = []
    with _Table(table.value) as owned:
        for rows, _ in _rows(next_row, owned):
            with rows:
                record = d.ContactRecord()
                _check(read, rows.handle, ctypes.byref(record))
                found.append(_contact(record))
    return found


def _contact_record(subject: Optional[str], display_name: Optional[str],
                    emails: "list[tuple[str, str]]") -> tuple[d.ContactRecord, list[Any]]:
    """A record pointing at new buffers (kept alive by the list returned with it)."""
    record = d.ContactRecord()
    keep: list[Any] = []

    def put(name: str, value: Optional[str]) -> None:
        if value is None:
            return
        buffer = ctypes.create_string_buffer(value.encode("cp1252"))
        keep.append(buffer)
        setattr(record, name, ctypes.cast(buffer, ctypes.POINTER(ctypes.c_char)))
        setattr(record, name + "Length", len(buffer) - 1)

    put("subject", subject)
    put("displayName", display_name)
    if len(emails) > 3:
        raise ValueError("a contact has at most three e-mail entries")
    for n, (kind, address) in enumerate(emails, start=1):
        put(f"email{n}AddressType", kind)
        put(f"email{n}Address", address)
    return record, keep


# ---- Notifications -------------------------------------------------------------------------


@dataclass(frozen=True)
class Notification:
    """One change in a store, as the library's advise sink reports it."""

    event: int  # 1 new mail, 2 created, 3 copied, 4 deleted, 5 modified, 6 moved, 0 other
    object_kind: int  # 1 folder, 2 message, 0 other
    entry_id: bytes
    parent_id: bytes
    old_id: bytes
    old_parent_id: bytes


def _out_value(function: str, index: int) -> Any:
    """A variable of the type the function's out-parameter points to."""
    pointer_type = d.FUNCTIONS[function][1][index][1]
    return pointer_type._type_()


def _referenced_bytes(size: int, holder: Any) -> bytes:
    # The callback receives the address of a pointer to the bytes.
    if size <= 0 or not holder or not holder[0]:
        return b""
    return ctypes.string_at(holder[0], size)


class Subscription:
    """A registration of a callable for a store's notifications.

    The callable gets one Notification per change, on the thread MAPI
    delivers on. close() (or the end of a with block) unregisters it; the
    ctypes callback lives as long as the registration does. An exception the
    callable raises is kept in errors rather than crossing into the library.
    """

    def __init__(self, store: "Store", callback: Callable[[Notification], None]) -> None:
        self.errors: list[BaseException] = []

        def deliver(_store: Any, _user: int, event: int, kind: int, size: int, entry: Any,
                    parent_size: int, parent: Any, old_size: int, old: Any,
                    old_parent_size: int, old_parent: Any) -> int:
            try:
                callback(Notification(event, kind, _referenced_bytes(size, entry),
                                      _referenced_bytes(parent_size, parent),
                                      _referenced_bytes(old_size, old),
                                      _referenced_bytes(old_parent_size, old_parent)))
            except BaseException as error:  # noqa: BLE001 - nothing may cross into C
                self.errors.append(error)
            return 0

        self._callback = d.NotificationCallback(deliver)  # type: ignore[attr-defined]
        create = "OrviMapiAdviseMsgStoreCreate"
        connection, sink = _out_value(create, 3), _out_value(create, 4)
        _check(create, store.handle, 0, self._callback, ctypes.byref(connection), ctypes.byref(sink))
        self.store = store
        self._connection = int(connection.value)
        self._sink = sink.value
        self._finalizer = weakref.finalize(self, Subscription._destroy, store.handle, self._connection,
                                           self._sink, self._callback)

    @staticmethod
    def _destroy(store: int, connection: int, sink: int, callback: Any) -> None:
        # callback rides along so that it outlives the sink.
        load().OrviMapiAdviseMsgStoreDestroy(store, connection, sink)

    def close(self) -> None:
        self._finalizer()

    def __enter__(self) -> "Subscription":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


# ---- Folders -------------------------------------------------------------------------------


@dataclass(frozen=True)
class FolderInfo:
    """One row of a folder's hierarchy table."""

    name: str
    entry_id: bytes
    content_count: int
    has_subfolders: bool
    store: Store

    def open(self) -> "Folder":
        return self.store.open_folder(self.entry_id)


@dataclass(frozen=True)
class MessageInfo:
    """One row of a folder's contents table."""

    entry_id: bytes
    subject: str
    message_class: str
    sender_name: str
    sender_email: str
    delivered: Optional[datetime.datetime]
    modified: Optional[datetime.datetime]
    size: int
    has_attachments: bool
    read: bool
    importance: int  # 1 normal, 2 low, 3 high
    folder: "Folder"

    def open(self) -> "Message":
        return self.folder.open_message(self.entry_id)


class Folder(_Owned):
    """An open folder."""

    def __init__(self, handle: Optional[int], store: Store, entry_id: bytes = b"") -> None:
        super().__init__(handle, _release("OrviMapiReleaseFolder"))
        self.store = store
        self._entry_id = entry_id
        self._name: Optional[str] = None

    def _props(self) -> tuple[str, bytes, int, bool]:
        props = ctypes.c_void_p()
        _check("OrviMapiFolderPropsGet", self.handle, ctypes.byref(props))
        with _Owned(props.value, _release_props("OrviMapiFolderPropsRelease")):
            record = d.FolderPropsRecord()
            _check("OrviMapiFolderPropsRead", self.handle, props, ctypes.byref(record))
            return (_text(record.displayName, record.displayNameLength),
                    _bytes(record.entryId, record.entryIdSize), record.contentCount,
                    bool(record.hasSubfolders))

    @property
    def name(self) -> str:
        if self._name is None:
            self._name = self._props()[0]
        return self._name

    @property
    def entry_id(self) -> bytes:
        if not self._entry_id:
            self._entry_id = self._props()[1]
        return self._entry_id

    @property
    def content_count(self) -> int:
        return self._props()[2]

    def subfolders(self) -> list[FolderInfo]:
        """The immediate subfolders, by display name."""
        lib = load()
        table = ctypes.c_void_p()
        _check("OrviMapiFolderHierQuerySet", self.handle, ctypes.byref(table))
        found = []
        with _Table(table.value) as owned:
            for rows, _ in _rows("OrviMapiFolderHierQueryGetRow", owned):
                with rows:
                    buf = ctypes.create_string_buffer(_TEXT_SIZE)
                    n = _count("OrviMapiFolderHierGetDisplayName", rows.handle, len(buf), buf)
                    size, data = ctypes.c_uint32(), ctypes.POINTER(ctypes.c_char)()
                    _check("OrviMapiFolderHierGetEID", rows.handle, ctypes.byref(size), ctypes.byref(data))
                    count, sub = ctypes.c_uint32(), ctypes.c_uint32()
                    lib.OrviMapiFolderHierGetContentCount(rows.handle, ctypes.byref(count))
                    lib.OrviMapiFolderHierGetSubFolderFlag(rows.handle, ctypes.byref(sub))
                    found.append(FolderInfo(buf.raw[:n].decode("cp1252"), _bytes(data, size.value),
                                            count.value, bool(sub.value), self.store))
        return found

    def subfolder(self, name: str) -> "Folder":
        for info in self.subfolders():
            if info.name.casefold() == name.casefold():
                return info.open()
        raise KeyError(name)

    def messages(self) -> Iterator[MessageInfo]:
        """The folder's messages in the store's order, read from the contents
        table a batch (up to 100 rows) at a time as the iteration goes."""
        lib = load()
        table = ctypes.c_void_p()
        _check("OrviMapiFolderContQuerySet", self.handle, ctypes.byref(table))
        with _Table(table.value) as owned:
            for rows, count in _rows("OrviMapiFolderContQueryGetRow", owned):
                with rows:
                    batch = [self._message_info(lib, rows, index) for index in range(count)]
                yield from batch

    def _message_info(self, lib: ctypes.CDLL, rows: _RowSet, index: int) -> MessageInfo:
        record = d.FolderContentsRecord()
        _check("OrviMapiFolderContReadParam", rows.handle, index, ctypes.byref(record))
        name = ctypes.create_string_buffer(_TEXT_SIZE)
        email = ctypes.create_string_buffer(_TEXT_SIZE)
        n_name = lib.OrviMapiFolderContGetMsgSenderName(rows.handle, len(name), index, name)
        n_email = lib.OrviMapiFolderContGetMsgSenderEmailAddress(rows.handle, len(email), index, email)
        return MessageInfo(
            entry_id=_bytes(record.entryId, record.entryIdSize),
            subject=_text(record.subject, record.subjectLength),
            message_class=_text(record.messageClass, record.messageClassLength),
            sender_name=name.raw[: max(n_name, 0)].decode("cp1252", errors="replace"),
            sender_email=email.raw[: max(n_email, 0)].decode("cp1252", errors="replace"),
            delivered=_time(record.delivered),
            modified=_time(record.modified),
            size=record.size,
            has_attachments=bool(record.hasAttachments),
            read=bool(record.read),
            importance=record.importanceCode,
            folder=self,
        )

    def open_message(self, entry_id: bytes) -> "Message":
        message = ctypes.c_void_p()
        _check("OrviMapiMsgGet", self.handle, len(entry_id), entry_id, ctypes.byref(message))
        return Message(message.value, self.store)

    def contacts(self) -> list[Contact]:
        """The contact items of a contacts folder, by display name."""
        _require("OrviMapiContactContQuerySet")
        return _contact_rows("OrviMapiContactContQuerySet", "OrviMapiContactContQueryGetRow",
                             "OrviMapiContactContGetParam", self.handle)

    def add_contact(self, subject: str, display_name: Optional[str] = None,
                    emails: "Sequence[tuple[str, str]]" = ()) -> None:
        """Creates a contact; emails are up to three (address type, address) pairs."""
        _require("OrviMapiContactAdd")
        record, keep = _contact_record(subject, display_name if display_name is not None else subject,
                                       list(emails))
        _check("OrviMapiContactAdd", self.handle, ctypes.byref(record))
        del keep

    def update_contact_emails(self, entry_id: bytes, emails: "list[tuple[str, str]]") -> None:
        """Writes the contact's e-mail entries; nothing else changes."""
        _require("OrviMapiContactUpdate")
        record, keep = _contact_record(None, None, list(emails))
        _check("OrviMapiContactUpdate", self.handle, len(entry_id), entry_id, ctypes.byref(record))
        del keep

    def _list_call(self, function: str, entry_ids: "list[bytes]", destination: Optional["Folder"] = None) -> None:
        if not self.store.entry_id:
            raise ValueError("the folder's store was not opened from the store table")
        entries, keep = _entry_list(entry_ids)
        args: list[Any] = [len(self.store.entry_id), self.store.entry_id, len(self.entry_id), self.entry_id]
        if destination is not None:
            args += [len(destination.entry_id), destination.entry_id]
        _check(function, *args, ctypes.byref(entries))
        del keep

    def copy_messages(self, entry_ids: "list[bytes]", destination: "Folder") -> None:
        """Copies the messages (entry identifiers of this folder's) into destination."""
        self._list_call("OrviMapiMsgCopy", entry_ids, destination)

    def move_messages(self, entry_ids: "list[bytes]", destination: "Folder") -> None:
        self._list_call("OrviMapiMsgMove", entry_ids, destination)

    def delete_messages(self, entry_ids: "list[bytes]") -> None:
        """Deletes the messages for good."""
        self._list_call("OrviMapiMsgDelete", entry_ids)

    def recycle_messages(self, entry_ids: "list[bytes]") -> None:
        """Moves the messages into the store's Deleted Items folder."""
        self._list_call("OrviMapiMsgRecycle", entry_ids)

    def __repr__(self) -> str:
        return f"Folder({self.name!r})" if not self.closed else "Folder(closed)"


# ---- Messages -------------------------------------------------------------------------------


@dataclass(frozen=True)
class Address:
    """A sender, "from" address or recipient."""

    kind: int  # 1 from, 2 sender, 3 To, 4 Cc, 5 Bcc, 0 other
    name: str
    email: str
    address_type: str


@dataclass(frozen=True)
class MessageProperties:
    entry_id: bytes
    subject: str
    message_class: str
    created: Optional[datetime.datetime]
    modified: Optional[datetime.datetime]
    delivered: Optional[datetime.datetime]
    submitted: Optional[datetime.datetime]
    size: int
    unread: bool
    has_attachments: bool
    importance: int  # 1 normal, 2 low, 3 high
    priority: int  # 1 normal, 2 urgent, 3 non-urgent
    sensitivity: int  # 1 none, 2 personal, 3 private, 4 confidential
    internet_code_page: int
    headers: str
    message_id: str
    flag_text: str
    topic: str
    sender: Address
    from_: Address


def _address(record: d.MsgAddrRecord, recipient: bool = False) -> Address:
    name = _text(record.recipientDisplayName, record.recipientDisplayNameLength) if recipient else ""
    return Address(record.kind, name or _text(record.name, record.nameLength),
                   _text(record.email, record.emailLength),
                   _text(record.addressType, record.addressTypeLength))


class Message(_Owned):
    """An open message."""

    def __init__(self, handle: Optional[int], store: Optional[Store] = None) -> None:
        super().__init__(handle, _release("OrviMapiReleaseMsg"))
        self.store = store
        self._properties: Optional[MessageProperties] = None

    def properties(self) -> MessageProperties:
        if self._properties is not None:
            return self._properties
        props = ctypes.c_void_p()
        _check("OrviMapiMsgPropsGet", self.handle, ctypes.byref(props))
        with _Owned(props.value, _release_props("OrviMapiMsgPropsRelease")):
            r = d.MsgPropsRecord()
            _check("OrviMapiMsgPropsRead", self.handle, props, ctypes.byref(r))
            sender, from_ = d.MsgAddrRecord(), d.MsgAddrRecord()
            _check("OrviMapiMsgAddrSenderGet", self.handle, props, ctypes.byref(sender))
            _check("OrviMapiMsgAddrFromGet", self.handle, props, ctypes.byref(from_))
            self._properties = MessageProperties(
                entry_id=_bytes(r.entryId, r.entryIdSize),
                subject=_text(r.subject, r.subjectLength),
                message_class=_text(r.messageClass, r.messageClassLength),
                created=_time(r.created), modified=_time(r.modified),
                delivered=_time(r.delivered), submitted=_time(r.submittedTime),
                size=r.size, unread=bool(r.unread), has_attachments=bool(r.hasAttachments),
                importance=r.importanceCode, priority=r.priorityCode,
                sensitivity=r.sensitivityCode, internet_code_page=r.internetCodePage,
                headers=_text(r.headers, r.headersLength),
                message_id=_text(r.messageId, r.messageIdLength),
                flag_text=_text(r.flagText, r.flagTextLength),
                topic=_text(r.topic, r.topicLength),
                sender=_address(sender), from_=_address(from_))
        return self._properties

    @property
    def subject(self) -> str:
        return self.properties().subject

    def recipients(self) -> list[Address]:
        table = ctypes.c_void_p()
        _check("OrviMapiMsgAddrOtherQuerySet", self.handle, ctypes.byref(table))
        found = []
        with _Table(table.value) as owned:
            for rows, _ in _rows("OrviMapiMsgAddrOtherGetRow", owned):
                with rows:
                    record = d.MsgAddrRecord()
                    _check("OrviMapiMsgAddrOtherGetParam", rows.handle, ctypes.byref(record))
                    found.append(_address(record, recipient=True))
        return found

    def body_text(self) -> Optional[str]:
        """The plain-text body, or None without one."""
        stream = ctypes.c_void_p()
        _check("OrviMapiMsgGetBodyTextStream", self.handle, ctypes.byref(stream))
        data = _stream_bytes(stream.value)
        if data is None:
            return None
        return data.decode(_codec(self.properties().internet_code_page or 1252), errors="replace")

    def body_rtf(self) -> Optional[bytes]:
        """The RTF body, decompressed, or None without one."""
        stream, size = ctypes.c_void_p(), ctypes.c_uint32()
        _check("OrviMapiMsgGetBodyRTFStream", self.handle, ctypes.byref(stream), ctypes.byref(size))
        return _stream_bytes(stream.value)

    def body_html_bytes(self, code_page: int = 65001) -> Optional[bytes]:
        """The HTML body as the library writes it for code_page, or None without one."""
        stream = ctypes.c_void_p()
        if load().OrviMapiMsgGetBodyHTMLStream(self.handle, code_page, ctypes.byref(stream)) != 0:
            return None  # no HTML body either way; the library records nothing new
        return _stream_bytes(stream.value)

    def body_html(self, code_page: int = 65001) -> Optional[str]:
        """The HTML body decoded with the charset of code_page (UTF-8 by default)."""
        data = self.body_html_bytes(code_page)
        return None if data is None else data.decode(_codec(code_page), errors="replace")

    def attachments(self) -> list["Attachment"]:
        table = ctypes.c_void_p()
        _check("OrviMapiMsgAttachQuerySet", self.handle, ctypes.byref(table))
        with _Table(table.value) as owned:
            rows = ctypes.c_void_p()
            count = _count("OrviMapiMsgAttachGetAllRows", owned.handle, ctypes.byref(rows))
            with _RowSet(rows.value) as all_rows:
                found = []
                for index in range(count):
                    record = d.MsgAttachRecord()
                    _check("OrviMapiMsgAttachGetParam", all_rows.handle, index, ctypes.byref(record))
                    found.append(Attachment(self, record))
                return found

    def __repr__(self) -> str:
        return f"Message({self.subject!r})" if not self.closed else "Message(closed)"


class Attachment:
    """One attachment of a message, read from its attachment table."""

    def __init__(self, message: Message, record: d.MsgAttachRecord) -> None:
        self.message = message
        self.number: int = record.attachmentNumber
        self.file_name: str = _text(record.fileName, record.fileNameLength)
        self.display_name: str = _text(record.displayName, record.displayNameLength)
        self.mime_type: str = _text(record.mimeTag, record.mimeTagLength)
        self.content_id: str = _text(record.contentId, record.contentIdLength)
        self.size: int = record.size
        self.is_inline: bool = bool(record.isInline)
        self.is_message: bool = bool(record.notByValue)

    def _open(self) -> _Owned:
        attach = ctypes.c_void_p()
        _check("OrviMapiMsgAttachOpen", self.message.handle, self.number, ctypes.byref(attach))
        return _Owned(attach.value, _release("OrviMapiReleaseAttach"))

    def data(self) -> bytes:
        """The attachment's bytes; raises when it has none (an attached message)."""
        with self._open() as attach:
            stream = ctypes.c_void_p()
            _check("OrviMapiMsgAttachGetStream", attach.handle, ctypes.byref(stream))
            data = _stream_bytes(stream.value)
            if data is None:
                raise _fail("OrviMapiMsgAttachGetStream", 0)
            return data

    def save(self, path: Union[str, "os.PathLike[str]"]) -> int:
        """Writes the bytes to path (a folder takes the attachment's file name); returns the count."""
        target = os.fspath(path)
        if os.path.isdir(target):
            name = os.path.basename(self.file_name or self.display_name) or f"attachment{self.number}"
            target = os.path.join(target, name)
        data = self.data()
        with open(target, "wb") as file:
            file.write(data)
        return len(data)

    def embedded_message(self) -> Optional[Message]:
        """The attached message, or None when the attachment is not one."""
        with self._open() as attach:
            message = ctypes.c_void_p()
            _check("OrviMapiMsgAttachGetEmbeddedMsg", attach.handle, ctypes.byref(message))
            return Message(message.value, self.message.store) if message.value else None

    def __repr__(self) -> str:
        return f"Attachment({self.file_name or self.display_name!r}, {self.size} bytes)"
