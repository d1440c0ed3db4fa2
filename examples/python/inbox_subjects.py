import orvimapi

with orvimapi.Session() as session, session.default_store() as store:
    with store.folder_by_type(orvimapi.FolderType.INBOX) as inbox:
        for info in inbox.messages():
            print(info.delivered, info.sender_name, info.subject)
            with info.open() as message:
                for attachment in message.attachments():
                    if not attachment.is_message:
                        attachment.save(".")
