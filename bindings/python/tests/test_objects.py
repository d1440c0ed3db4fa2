"""The Pythonic layer on the sample mailbox: what comes back, and that every
handle it took is given back (the session fixture checks the live counts)."""
from __future__ import annotations

import datetime
from pathlib import Path

import pytest

import orvimapi
from orvimapi import FolderType, OrviMapiError


def test_stores_and_the_default_store(session: orvimapi.Session) -> None:
    infos = session.stores()
    names = [info.display_name for info in infos]
    assert names == sorted(names) and "Personal Folders" in names
    assert [info.display_name for info in infos if info.is_default] == ["Personal Folders"]
    assert [info.display_name for info in session.stores(all_stores=False)] == ["Personal Folders"]
    assert any(info.is_exchange for info in infos)
    with session.default_store() as store:
        assert store.display_name == "Personal Folders"
    assert session.profile_name == "Outlook"


def test_folder_tree(session: orvimapi.Session) -> None:
    with session.default_store() as store, store.root_folder() as root:
        top = {info.name: info for info in root.subfolders()}
        assert {"Inbox", "Sent Items", "Deleted Items", "Contacts"} <= set(top)
        assert top["Inbox"].has_subfolders and top["Inbox"].content_count == 10
        assert store.folder_type(top["Inbox"].entry_id) == FolderType.INBOX
        with store.folder("inbox/CLIENTS/St Aidan's School") as school:
            assert school.name == "St Aidan's School" and school.content_count == 1
        with pytest.raises(KeyError):
            store.folder("Inbox/Nowhere")
        with store.folder_by_type(FolderType.SENT_ITEMS) as sent:
            assert sent.name == "Sent Items"


def test_messages_arrive_whole_across_batches(session: orvimapi.Session, mapisim) -> None:  # type: ignore[no-untyped-def]
    # 250 rows come in batches of at most 100, and fewer when the store caps
    # QueryRows: no row may be lost or repeated at a batch edge.
    mapisim.set_queryrows_cap(7)
    with session.default_store() as store, store.folder("Inbox/Web Orders") as orders:
        infos = list(orders.messages())
    assert len(infos) == 250 and len({info.entry_id for info in infos}) == 250
    assert all(info.subject.startswith("Web order ") for info in infos)
    assert all(info.delivered is not None and info.delivered.tzinfo == datetime.timezone.utc
               for info in infos)


def test_message_properties_recipients_and_bodies(session: orvimapi.Session) -> None:
    with session.default_store() as store, store.folder_by_type(FolderType.INBOX) as inbox:
        info = next(i for i in inbox.messages() if i.subject.startswith("Spring ale labels"))
        assert (info.sender_name, info.sender_email) == ("Ann Hollis", "ann.hollis@harrowvale.example")
        assert info.has_attachments and info.read
        with info.open() as message:
            props = message.properties()
            assert props.importance == 3 and props.flag_text == "Send quote"
            assert props.delivered == datetime.datetime(2000, 5, 2, 8, 43, 5, tzinfo=datetime.timezone.utc)
            assert props.from_.email == "ann.hollis@harrowvale.example"
            assert [(r.kind, r.name) for r in message.recipients()] == [(3, "Clara Voss")]
            text = message.body_text()
            assert text is not None and "\u00a3412.50" in text and "\u20ac" in text
            rtf = message.body_rtf()
            assert rtf is not None and rtf.startswith(b"{\\rtf1")


def test_html_body_decoded_with_the_charset_it_names(session: orvimapi.Session) -> None:
    with session.default_store() as store, store.folder_by_type(FolderType.INBOX) as inbox:
        info = next(i for i in inbox.messages() if i.subject.startswith("Quotation for 80gsm"))
        with info.open() as message:
            utf8, western = message.body_html(65001), message.body_html(1252)
            assert utf8 is not None and western is not None
            assert "charset=utf-8" in utf8 and "charset=windows-1252" in western
            # The RTF's Unicode characters, written as UTF-8 for 65001 only.
            assert {"\u20ac", "\u0141", "\u00d7"} <= set(utf8)
        plain = next(i for i in inbox.messages() if i.subject.startswith("Backup tapes"))
        with plain.open() as message:
            assert message.body_html() is None


def test_attachments_saved_to_files(session: orvimapi.Session, tmp_path: Path) -> None:
    with session.default_store() as store, store.folder_by_type(FolderType.INBOX) as inbox:
        info = next(i for i in inbox.messages() if i.subject.startswith("Spring ale labels"))
        with info.open() as message:
            [attachment] = message.attachments()
            assert attachment.file_name == "Spring Ale 330ml v3.pdf"
            assert attachment.mime_type == "application/pdf"
            written = attachment.save(tmp_path)
            data = (tmp_path / "Spring Ale 330ml v3.pdf").read_bytes()
            assert written == len(data) == attachment.size and data.startswith(b"%PDF-1.3")
            assert attachment.embedded_message() is None


def test_failures_carry_the_last_error_and_hresult(session: orvimapi.Session, mapisim) -> None:  # type: ignore[no-untyped-def]
    mapisim.fail_method("IMAPIFolder::GetContentsTable", hresult=0x8004010F)
    with session.default_store() as store, store.folder_by_type(FolderType.INBOX) as inbox:
        with pytest.raises(OrviMapiError) as caught:
            next(inbox.messages())
    error = caught.value
    assert error.function == "OrviMapiFolderContQuerySet"
    assert error.hresult == 0x8004010F and error.code == "Facility ITF, Error Num 271"
    assert error.location and "0x8004010F" in str(error)
    assert orvimapi.last_error().endswith("Error Code: Facility ITF, Error Num 271")


def test_a_result_that_is_an_hresult_is_kept_whole(session: orvimapi.Session) -> None:
    with session.default_store() as store:
        with pytest.raises(OrviMapiError) as caught:
            store.open_folder(b"\x00" * 4)
    assert caught.value.hresult is not None and caught.value.hresult & 0x80000000


def test_no_session_is_an_error_not_a_crash(mapisim) -> None:  # type: ignore[no-untyped-def]
    session = orvimapi.Session()
    with pytest.raises(OrviMapiError):
        session.stores()
    mapisim.reset()  # no profiles at all
    with pytest.raises(OrviMapiError):
        orvimapi.Session().open()


def test_closed_objects_refuse_use(session: orvimapi.Session) -> None:
    store = session.default_store()
    store.close()
    store.close()
    with pytest.raises(ValueError, match="closed"):
        store.root_folder()


def test_call_log_and_load_errors(mapisim) -> None:  # type: ignore[no-untyped-def]
    mapisim.clear_call_log()
    with orvimapi.Session():
        pass
    assert [call.method for call in mapisim.calls("MAPILogonEx")] == ["MAPILogonEx"]
    with pytest.raises(mapisim.MailboxError, match="1:"):
        mapisim.load_mailbox_text("{ not json")


def test_message_operations_by_entry_identifier(session: orvimapi.Session) -> None:
    with session.default_store() as store, store.folder("Inbox/Suppliers") as suppliers, \
            store.folder("Inbox/Clients") as clients:
        infos = list(suppliers.messages())
        ids = [info.entry_id for info in infos]
        assert store.folder_path(ids[0]) == "Personal Folders/Inbox/Suppliers"
        suppliers.copy_messages(ids, clients)
        assert sorted(i.subject for i in clients.messages()) == sorted(i.subject for i in infos)
        suppliers.move_messages(ids[:1], clients)
        assert [i.entry_id for i in suppliers.messages()] == ids[1:]
        store.mark_read(ids[1], read=False)
        assert [i.read for i in suppliers.messages()] == [False]
        store.set_flag(ids[1], 2, "Call back")
        with store.open_message(ids[1]) as message:
            assert message.properties().flag_text == "Call back"
        suppliers.delete_messages(ids[1:])
        assert list(suppliers.messages()) == []
        with pytest.raises(OrviMapiError) as caught:
            store.mark_read(b"\x01\x02")
        assert caught.value.function == "OrviMapiMsgUpdateReadFlag" and caught.value.result == -1


def test_notifications_reach_a_python_callable(session: orvimapi.Session, mapisim) -> None:  # type: ignore[no-untyped-def]
    if "OrviMapiAdviseMsgStoreCreate" not in orvimapi.records.FUNCTIONS:
        pytest.skip("no notifications in this library")
    heard: list[orvimapi.Notification] = []
    with session.default_store() as store, store.folder_by_type(FolderType.INBOX) as inbox:
        with store.subscribe(heard.append) as subscription:
            mapisim.deliver_mail('{"subject": "Late order", "from": "Shop <shop@example.org>"}', "Inbox")
        mapisim.deliver_mail('{"subject": "After the end"}', "Inbox")
        assert [n.event for n in heard] == [1, 2] and subscription.errors == []
        assert heard[0].object_kind == 2 and heard[0].parent_id == inbox.entry_id
        with inbox.open_message(heard[0].entry_id) as message:
            assert message.subject == "Late order"

        def fails(_: orvimapi.Notification) -> None:
            raise RuntimeError("in the callback")
        with store.subscribe(fails) as failing:
            mapisim.deliver_mail('{"subject": "Once more"}', "Inbox")
        assert [type(e) for e in failing.errors] == [RuntimeError, RuntimeError]


def test_address_book_and_contacts(session: orvimapi.Session) -> None:
    if "OrviMapiContactAdd" not in orvimapi.records.FUNCTIONS:
        pytest.skip("no address book in this library")
    entries = session.address_book()
    names = [entry.display_name for entry in entries]
    assert len(entries) == 8 and names == sorted(names, key=str.casefold)
    assert all(entry.entry_id for entry in entries)
    # The one distribution list has no address of its own.
    assert [entry.display_name for entry in entries if not entry.emails] == ["Print Room Team"]
    with session.default_store() as store, store.folder_by_type(FolderType.CONTACTS) as folder:
        ann = next(c for c in folder.contacts() if c.subject == "Ann Hollis")
        assert (ann.given_name, ann.surname, ann.company) == ("Ann", "Hollis", "Harrow Vale Brewery")
        assert ("SMTP", "annhollis@freenet.example") in ann.emails
        folder.add_contact("Zoe Quill", emails=[("SMTP", "zoe@quill.example")])
        zoe = next(c for c in folder.contacts() if c.subject == "Zoe Quill")
        assert zoe.display_name == "Zoe Quill" and zoe.emails[0] == ("SMTP", "zoe@quill.example")
        folder.update_contact_emails(zoe.entry_id, [("SMTP", "zoe@new.example")])
        assert next(c for c in folder.contacts() if c.subject == "Zoe Quill").emails[0][1] == "zoe@new.example"
        with pytest.raises(ValueError):
            folder.add_contact("Too many", emails=[("SMTP", "a@b.example")] * 4)
