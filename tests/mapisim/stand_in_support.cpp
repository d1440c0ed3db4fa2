#include "stand_in.h"

#include "mapisim/mapi/entryid.h"

namespace standin {

Mailbox standard_mailbox()
{
    Mailbox b;
    b.world = std::make_shared<World>();
    Profile& p = b.world->add_profile("Outlook", true);
    b.world->add_profile("Work");

    b.pst = p.add_store("Personal Folders", "Personal Folders");
    b.pst->is_default = true;
    b.pst->resource_flags = STATUS_DEFAULT_STORE;
    Store& s = *b.pst;
    b.top = s.add_folder(*s.root(), "Top of Personal Folders");
    s.ipm_subtree = b.top->number();
    b.inbox = s.add_folder(*b.top, "Inbox", "IPF.Note");
    b.outbox = s.add_folder(*b.top, "Outbox", "IPF.Note");
    b.sent = s.add_folder(*b.top, "Sent Items", "IPF.Note");
    b.deleted = s.add_folder(*b.top, "Deleted Items", "IPF.Note");
    b.drafts = s.add_folder(*b.top, "Drafts", "IPF.Note");
    b.contacts = s.add_folder(*b.top, "Contacts", "IPF.Contact");
    b.sub = s.add_folder(*b.inbox, "Projects", "IPF.Note");
    s.outbox = b.outbox->number();
    s.sentmail = b.sent->number();
    s.wastebasket = b.deleted->number();
    s.set_receive_folder("", *b.inbox);

    const ULONG flag_text = s.named_tag(NamedId::by_lid(PSETID_Common, 0x8530), PT_STRING8);
    s.named_tag(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Keywords"), PT_MV_STRING8);

    struct Mail {
        const char* subject;
        const char* sender;
        int importance;
        int delivered;
        bool read;
    };
    const Mail mails[] = {{"Budget", "carol", 1, 3, true},
                          {"agenda", "Bob", 2, 1, false},
                          {"Zebra crossing", "alice", 0, 5, true},
                          {"Agenda", "bob", 1, 2, true},
                          {"lunch", "Alice", 2, 4, false}};
    for (const Mail& m : mails) {
        auto msg = s.add_message(*b.inbox);
        msg->props.set(Value::string8(PR_SUBJECT_A, m.subject));
        msg->props.set(Value::string8(PR_MESSAGE_CLASS_A, "IPM.Note"));
        msg->props.set(Value::string8(PR_SENDER_NAME_A, m.sender));
        msg->props.set(Value::i4(PR_IMPORTANCE, m.importance));
        msg->props.set(Value::systime(PR_MESSAGE_DELIVERY_TIME, day(m.delivered)));
        msg->props.set(Value::i4(PR_MESSAGE_FLAGS, m.read ? MSGFLAG_READ : 0));
        msg->add_recipient(MAPI_TO, "Me", "SMTP", "me@example.com");
        b.mail.push_back(msg);
    }
    b.mail[0]->props.set(Value::string8(flag_text, "Follow up"));
    b.mail[0]->props.set(Value::string8(PR_BODY_A, "Hello there"));
    b.mail[0]->add_recipient(MAPI_CC, "Ann", "SMTP", "ann@example.com");
    b.mail[0]->add_attachment(Attachment::by_value("a.txt", Bytes{'d', 'a', 't', 'a'}));
    auto inner = std::make_shared<Message>();
    inner->props.set(Value::string8(PR_SUBJECT_A, "Inner"));
    b.mail[0]->add_attachment(Attachment::embedded_message(inner));
    b.hidden = s.add_message(*b.inbox, true);
    b.hidden->props.set(Value::string8(PR_MESSAGE_CLASS_A, "IPM.Configuration"));

    b.archive = p.add_store("Archive", "Tarsk Quillbank");
    auto atop = b.archive->add_folder(*b.archive->root(), "Top");
    b.archive->ipm_subtree = atop->number();
    b.archive->add_folder(*atop, "Old");
    b.archive->named_tag(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Other"), PT_LONG);

    p.add_transport("Internet Mail", "SMTP",
                    STATUS_AVAILABLE | STATUS_INBOUND_ENABLED | STATUS_OUTBOUND_ENABLED);
    p.add_transport("Fax", "Fax Transport", std::nullopt);
    AbContainer& pab = p.address_book.add_container("Personal Address Book", true);
    pab.add_entry("Zoe", "SMTP", "zoe@example.com");
    pab.add_entry("adam", "SMTP", "adam@example.com");
    pab.add_entry("zz list", "", "").props.set(Value::i4(PR_DISPLAY_TYPE, DT_PRIVATE_DISTLIST));
    p.address_book.add_container("Global Address List");
    return b;
}

Bytes StandIn::entryid_of_store(const Store& s)
{
    Com<IMsgStore> store;
    Rows rows;
    Com<IMAPITable> table;
    EXPECT_EQ(session->GetMsgStoresTable(0, table.out()), S_OK);
    auto cols = tags({PR_ENTRYID, PR_DISPLAY_NAME_A});
    EXPECT_EQ(HrQueryAllRows(table.get(), as_tags(cols), nullptr, nullptr, 0, rows.out()), S_OK);
    for (ULONG i = 0; i < rows.size(); ++i)
        if (text(rows.at(i, 1)) == s.display_name) {
            const SBinary& b = rows.at(i, 0).Value.bin;
            return Bytes(b.lpb, b.lpb + b.cb);
        }
    ADD_FAILURE() << "no store " << s.display_name;
    return {};
}

Bytes StandIn::entryid_of(const Store& s, const Folder& f)
{
    return mapisim::mapi::encode({mapisim::mapi::Kind::Folder, s.number(), f.number(), false});
}
Bytes StandIn::entryid_of(const Store& s, const Message& m)
{
    return mapisim::mapi::encode({mapisim::mapi::Kind::Message, s.number(), m.number(), false});
}

} // namespace standin
