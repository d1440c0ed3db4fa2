#!/usr/bin/env python3
"""Lists the default store's Inbox and saves the first HTML body it finds.

    list_inbox.py [OUTPUT.html [MAILBOX.json]]

On Windows the binding loads OrviMapi.dll and works on the profile's MAPI.
Elsewhere the library runs on the stand-in MAPI, which is first given a
mailbox description: the project's sample mailbox unless one is named.
"""
import sys

import orvimapi

output = sys.argv[1] if len(sys.argv) > 1 else "message.html"
if sys.platform != "win32":
    from orvimapi import mapisim
    mapisim.load_mailbox(sys.argv[2] if len(sys.argv) > 2 else None)

saved = False
with orvimapi.Session() as session, session.default_store() as store:
    with store.folder_by_type(orvimapi.FolderType.INBOX) as inbox:
        for info in inbox.messages():
            when = f"{info.delivered:%Y-%m-%d %H:%M}" if info.delivered else " " * 16
            print(f"{when}  {info.sender_name:22} {info.subject}")
            if not saved:
                with info.open() as message:
                    html = message.body_html()
                if html is not None:
                    with open(output, "w", encoding="utf-8") as file:
                        file.write(html)
                    print(f"    HTML body saved to {output}")
                    saved = True
