// Messages: computed and missing properties, the size limit of GetProps,
// changes held until SaveChanges, access, read flags, streams over
// properties, attachments, recipients and named properties.
#include <cstring>

#include "stand_in.h"

using namespace standin;

namespace {

class Messages : public StandIn {
protected:
    void SetUp() override
    {
        StandIn::SetUp();
        logon();
        open(entryid_of(*box.pst, *box.mail[0]), msg, MAPI_MESSAGE);
    }
    void TearDown() override
    {
        msg.reset();
        StandIn::TearDown();
    }

    static std::string read_all(IStream* s)
    {
        std::string out;
        char buf[7];
        ULONG n = 0;
        while (SUCCEEDED(s->Read(buf, sizeof buf, &n)) && n) out.append(buf, n);
        return out;
    }

    Com<IMessage> msg;
};

} // namespace

TEST_F(Messages, GetPropsComputesAndMarksMissingOnes)
{
    Props p;
    get_props(msg.get(),
              {PR_ENTRYID, PR_PARENT_ENTRYID, PR_MESSAGE_SIZE, PR_HASATTACH, PR_ACCESS,
               PR_MSG_STATUS, PR_MESSAGE_FLAGS, PR_SUBJECT_A, PR_SUBJECT_W, PR_DISPLAY_TO_A,
               PR_DISPLAY_CC_A, PR_REPORT_TAG},
              p);
    ASSERT_EQ(p.hr, MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(p.n, 12u);
    EXPECT_EQ(p[0].Value.bin.lpb[0], 0); // long-term
    EXPECT_EQ(Bytes(p[1].Value.bin.lpb, p[1].Value.bin.lpb + p[1].Value.bin.cb),
              entryid_of(*box.pst, *box.inbox));
    EXPECT_GT(p[2].Value.l, 20);
    EXPECT_EQ(p[3].Value.b, TRUE);
    EXPECT_EQ(p[4].Value.l,
              static_cast<LONG>(MAPI_ACCESS_MODIFY | MAPI_ACCESS_READ | MAPI_ACCESS_DELETE));
    EXPECT_EQ(p[5].Value.l, 0);
    EXPECT_EQ(static_cast<ULONG>(p[6].Value.l), MSGFLAG_READ | MSGFLAG_HASATTACH);
    EXPECT_EQ(text(p[7]), "Budget");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(p[8].Value.lpszW)), u"Budget");
    EXPECT_EQ(text(p[9]), "Me");
    EXPECT_EQ(text(p[10]), "Ann");
    EXPECT_EQ(p[11].ulPropTag, CHANGE_PROP_TYPE(PR_REPORT_TAG, PT_ERROR));
    EXPECT_EQ(p[11].Value.err, MAPI_E_NOT_FOUND);

    // A mailbox may hide a property with an error value of its own.
    box.mail[0]->props.set(Value::error(PR_MESSAGE_FLAGS, MAPI_E_NOT_FOUND));
    Com<IMessage> again;
    open(entryid_of(*box.pst, *box.mail[0]), again, MAPI_MESSAGE);
    Props q;
    get_props(again.get(), {PR_MESSAGE_FLAGS}, q);
    EXPECT_EQ(q.hr, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(PROP_TYPE(q[0].ulPropTag), PT_ERROR);

    Props none;
    SPropTagArray empty{0, {0}};
    EXPECT_EQ(msg->GetProps(&empty, 0, &none.n, &none.p), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(msg->GetProps(nullptr, 0, nullptr, &none.p), MAPI_E_INVALID_PARAMETER);
}

// Identifiers, keys, flags and empty recipient lists are made without a
// value of their own; asked in another type, over the limit or wide, they
// must come out as every other property does.
TEST_F(Messages, ComputedValuesKeepTheTypeAndLimitRules)
{
    const Bytes eid = entryid_of(*box.pst, *box.mail[0]);
    Props p;
    get_props(msg.get(),
              {CHANGE_PROP_TYPE(PR_ENTRYID, PT_UNSPECIFIED), CHANGE_PROP_TYPE(PR_ENTRYID, PT_LONG),
               CHANGE_PROP_TYPE(PR_ACCESS, PT_UNSPECIFIED), CHANGE_PROP_TYPE(PR_HASATTACH, PT_LONG),
               PR_SEARCH_KEY, PR_STORE_RECORD_KEY, PR_STORE_ENTRYID, PR_OBJECT_TYPE,
               CHANGE_PROP_TYPE(PR_MESSAGE_FLAGS, PT_BOOLEAN)},
              p);
    ASSERT_EQ(p.hr, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(p[0].ulPropTag, PR_ENTRYID);
    EXPECT_EQ(Bytes(p[0].Value.bin.lpb, p[0].Value.bin.lpb + p[0].Value.bin.cb), eid);
    EXPECT_EQ(p[1].ulPropTag, CHANGE_PROP_TYPE(PR_ENTRYID, PT_ERROR));
    EXPECT_EQ(p[1].Value.err, MAPI_E_NOT_FOUND);
    EXPECT_EQ(p[2].ulPropTag, PR_ACCESS);
    EXPECT_EQ(p[3].ulPropTag, CHANGE_PROP_TYPE(PR_HASATTACH, PT_ERROR));
    // A key is the store's and the message's numbers, as in the identifier.
    ASSERT_EQ(p[4].ulPropTag, PR_SEARCH_KEY);
    EXPECT_EQ(Bytes(p[4].Value.bin.lpb, p[4].Value.bin.lpb + 8),
              Bytes(eid.begin() + 24, eid.end()));
    ASSERT_EQ(p[5].Value.bin.cb, 8u);
    EXPECT_EQ(Bytes(p[5].Value.bin.lpb, p[5].Value.bin.lpb + 8),
              Bytes({eid[24], eid[25], eid[26], eid[27], 0, 0, 0, 0}));
    const Bytes store = entryid_of_store(*box.pst);
    ASSERT_EQ(p[6].Value.bin.cb, store.size());
    EXPECT_EQ(p[6].Value.bin.lpb[0], 0); // long-term
    EXPECT_EQ(Bytes(p[6].Value.bin.lpb + 1, p[6].Value.bin.lpb + p[6].Value.bin.cb),
              Bytes(store.begin() + 1, store.end()));
    EXPECT_EQ(static_cast<ULONG>(p[7].Value.l), static_cast<ULONG>(MAPI_MESSAGE));
    EXPECT_EQ(p[8].ulPropTag, CHANGE_PROP_TYPE(PR_MESSAGE_FLAGS, PT_ERROR));

    // The limit holds for made values as for stored ones.
    mapisim_set_getprops_limit(8);
    get_props(msg.get(), {PR_ENTRYID, PR_SEARCH_KEY, PR_MESSAGE_SIZE}, p);
    EXPECT_EQ(p.hr, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(p[0].ulPropTag, CHANGE_PROP_TYPE(PR_ENTRYID, PT_ERROR));
    EXPECT_EQ(p[0].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(p[1].Value.bin.cb, 8u);
    EXPECT_EQ(p[2].ulPropTag, PR_MESSAGE_SIZE);

    // Not yet saved, without recipients: no identifier or key, empty
    // recipient lists in the asked width; none at all past the limit.
    Com<IMAPIFolder> drafts;
    open(entryid_of(*box.pst, *box.drafts), drafts, MAPI_FOLDER);
    Com<IMessage> fresh;
    ASSERT_EQ(drafts->CreateMessage(nullptr, 0, fresh.out()), S_OK);
    mapisim_set_getprops_limit(1);
    get_props(fresh.get(),
              {PR_DISPLAY_TO_A, PR_DISPLAY_CC_W, CHANGE_PROP_TYPE(PR_DISPLAY_BCC, PT_UNSPECIFIED),
               PR_ENTRYID, PR_RECORD_KEY, PR_PARENT_ENTRYID},
              p);
    ASSERT_EQ(p.hr, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(text(p[0]), "");
    EXPECT_EQ(p[1].ulPropTag, CHANGE_PROP_TYPE(PR_DISPLAY_CC, PT_ERROR)); // two bytes wide
    EXPECT_EQ(text(p[2]), "");
    EXPECT_EQ(p[3].ulPropTag, CHANGE_PROP_TYPE(PR_ENTRYID, PT_ERROR));
    EXPECT_EQ(p[3].Value.err, MAPI_E_NOT_FOUND);
    EXPECT_EQ(p[4].Value.err, MAPI_E_NOT_FOUND);
    EXPECT_EQ(p[5].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);
    mapisim_set_getprops_limit(32768);
    std::vector<ULONG> wide = tags({CHANGE_PROP_TYPE(PR_DISPLAY_TO, PT_UNSPECIFIED)});
    MAPIFreeBuffer(p.p);
    p.p = nullptr;
    ASSERT_EQ(
        fresh->GetProps(reinterpret_cast<LPSPropTagArray>(wide.data()), MAPI_UNICODE, &p.n, &p.p),
        S_OK);
    EXPECT_EQ(p[0].ulPropTag, PR_DISPLAY_TO_W);
    EXPECT_EQ(p[0].Value.lpszW[0], 0);
}

TEST_F(Messages, LargeValuesComeAsNotEnoughMemoryFromGetPropsOnly)
{
    const std::string big(40000, 'x');
    box.mail[0]->props.set(Value::string8(PR_BODY_A, big));
    Com<IMessage> m;
    open(entryid_of(*box.pst, *box.mail[0]), m, MAPI_MESSAGE);
    Props p;
    get_props(m.get(), {PR_BODY_A, PR_BODY_W, PR_SUBJECT_A}, p);
    ASSERT_EQ(p.hr, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(p[0].ulPropTag, CHANGE_PROP_TYPE(PR_BODY_A, PT_ERROR));
    EXPECT_EQ(p[0].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(p[1].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(text(p[2]), "Budget");
    // Whole through a stream.
    Com<IStream> s;
    ASSERT_EQ(m->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_DEFERRED_ERRORS, s.unk()), S_OK);
    EXPECT_EQ(read_all(s.get()), big);
    // The limit is a setting; 32767 + terminator is the last size that passes at 32 KiB.
    mapisim_set_getprops_limit(100000);
    Props q;
    get_props(m.get(), {PR_BODY_A}, q);
    EXPECT_EQ(q.hr, S_OK);
    box.mail[0]->props.set(Value::string8(PR_BODY_A, std::string(32767, 'y')));
    mapisim_set_getprops_limit(32768);
    Com<IMessage> edge;
    open(entryid_of(*box.pst, *box.mail[0]), edge, MAPI_MESSAGE);
    Props r;
    get_props(edge.get(), {PR_BODY_A}, r);
    EXPECT_EQ(r.hr, S_OK);
}

TEST_F(Messages, ChangesWaitForSaveChanges)
{
    SPropValue v[2]{};
    v[0].ulPropTag = PR_SUBJECT_A;
    v[0].Value.lpszA = const_cast<LPSTR>("Changed");
    v[1].ulPropTag = PR_IMPORTANCE;
    v[1].Value.l = 2;
    ASSERT_EQ(msg->SetProps(2, v, nullptr), S_OK);
    Props p;
    get_props(msg.get(), {PR_SUBJECT_A}, p);
    EXPECT_EQ(text(p[0]), "Changed"); // the object sees its own change
    EXPECT_EQ(box.mail[0]->props.text(PR_SUBJECT_A), "Budget");
    SizedSPropTagArray(1, del) = {1, {PR_BODY_A}};
    ASSERT_EQ(msg->DeleteProps(reinterpret_cast<LPSPropTagArray>(&del), nullptr), S_OK);
    EXPECT_TRUE(box.mail[0]->props.contains(PR_BODY_A));
    ASSERT_EQ(msg->SaveChanges(KEEP_OPEN_READONLY), S_OK);
    EXPECT_EQ(box.mail[0]->props.text(PR_SUBJECT_A), "Changed");
    EXPECT_FALSE(box.mail[0]->props.contains(PR_BODY_A));
    // Read-only after KEEP_OPEN_READONLY.
    EXPECT_EQ(msg->SetProps(1, v, nullptr), MAPI_E_NO_ACCESS);

    // A message opened without MAPI_MODIFY or MAPI_BEST_ACCESS is read-only.
    Com<IMessage> ro;
    open(entryid_of(*box.pst, *box.mail[1]), ro, MAPI_MESSAGE, MAPI_DEFERRED_ERRORS);
    EXPECT_EQ(ro->SetProps(1, v, nullptr), MAPI_E_NO_ACCESS);
    EXPECT_EQ(ro->SaveChanges(0), MAPI_E_NO_ACCESS);

    // A message deleted while open cannot be saved.
    Com<IMessage> doomed;
    open(entryid_of(*box.pst, *box.mail[2]), doomed, MAPI_MESSAGE);
    box.pst->detach_message(*box.mail[2]);
    EXPECT_EQ(doomed->SaveChanges(0), MAPI_E_OBJECT_DELETED);
}

// Tables rebuild their rows when the model's generation moves; opening and
// reading must not move it, or a folder read in batches while its messages
// are opened rebuilds every row for every batch.
TEST_F(Messages, OpeningAndReadingChangeNothingTablesWatch)
{
    const std::uint64_t before = mapisim::model::generation();
    Com<IMessage> other;
    open(entryid_of(*box.pst, *box.mail[1]), other, MAPI_MESSAGE);
    Props p;
    get_props(other.get(), {PR_SUBJECT_A}, p);
    Com<IAttach> file;
    ASSERT_EQ(msg->OpenAttach(0, nullptr, 0, file.out()), S_OK);
    get_props(file.get(), {PR_ATTACH_LONG_FILENAME_A}, p);
    EXPECT_EQ(text(p[0]), "a.txt");
    // Tables whose rows are made on the fly: the store table, the status
    // table and a recipient table.
    auto rows_of = [](IMAPITable* table) {
        Rows rows;
        EXPECT_EQ(table->QueryRows(100, 0, rows.out()), S_OK);
        return rows.size();
    };
    Com<IMAPITable> table;
    ASSERT_EQ(session->GetMsgStoresTable(0, table.out()), S_OK);
    EXPECT_GE(rows_of(table.get()), 2u);
    ASSERT_EQ(session->GetStatusTable(0, table.out()), S_OK);
    EXPECT_GE(rows_of(table.get()), 3u);
    ASSERT_EQ(msg->GetRecipientTable(0, table.out()), S_OK);
    EXPECT_EQ(rows_of(table.get()), 2u);
    EXPECT_EQ(mapisim::model::generation(), before);
}

TEST_F(Messages, SetPropsProblemsAndNamedIdentifiers)
{
    SPropValue v[3]{};
    v[0].ulPropTag = PR_ENTRYID;                   // computed
    v[1].ulPropTag = PROP_TAG(PT_STRING8, 0x8123); // not mapped in the store
    v[1].Value.lpszA = const_cast<LPSTR>("x");
    v[2].ulPropTag = 0x66990003; // below 0x8000: any identifier will do
    v[2].Value.l = 7;
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(msg->SetProps(3, v, &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    ASSERT_EQ(problems->cProblem, 2u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_COMPUTED);
    EXPECT_EQ(problems->aProblem[1].ulIndex, 1u);
    EXPECT_EQ(problems->aProblem[1].scode, MAPI_E_UNEXPECTED_ID);
    MAPIFreeBuffer(problems);
    ASSERT_EQ(msg->SaveChanges(0), S_OK);
    EXPECT_EQ(box.mail[0]->props.i4(0x66990003), 7);
}

TEST_F(Messages, NamedPropertiesUseTheStoresIdentifiers)
{
    Com<IMsgStore> store;
    open_store(store, *box.pst);
    // Every name of the store, with a null tag array.
    LPSPropTagArray tags = nullptr;
    ULONG count = 0;
    LPMAPINAMEID* names = nullptr;
    ASSERT_EQ(store->GetNamesFromIDs(&tags, nullptr, 0, &count, &names), S_OK);
    ASSERT_EQ(count, 2u);
    ASSERT_NE(tags, nullptr);
    EXPECT_EQ(PROP_ID(tags->aulPropTag[0]), 0x8000u);
    EXPECT_EQ(names[0]->ulKind, static_cast<ULONG>(MNID_ID));
    EXPECT_EQ(names[0]->Kind.lID, 0x8530);
    EXPECT_TRUE(*names[0]->lpguid == PSETID_Common);
    EXPECT_EQ(names[1]->ulKind, static_cast<ULONG>(MNID_STRING));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(names[1]->Kind.lpwstrName)),
              u"Keywords");
    MAPIFreeBuffer(tags);
    MAPIFreeBuffer(names);

    // By name, and the value under the store's identifier.
    GUID common = PSETID_Common;
    MAPINAMEID flag{&common, MNID_ID, {0x8530}};
    MAPINAMEID fresh{&common, MNID_ID, {0x8599}};
    LPMAPINAMEID ask[2] = {&flag, &fresh};
    LPSPropTagArray ids = nullptr;
    ASSERT_EQ(msg->GetIDsFromNames(2, ask, 0, &ids), MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(PROP_ID(ids->aulPropTag[0]), 0x8000u);
    EXPECT_EQ(PROP_TYPE(ids->aulPropTag[1]), PT_ERROR);
    Props p;
    get_props(msg.get(), {CHANGE_PROP_TYPE(ids->aulPropTag[0], PT_STRING8)}, p);
    EXPECT_EQ(text(p[0]), "Follow up");
    MAPIFreeBuffer(ids);
    ASSERT_EQ(msg->GetIDsFromNames(2, ask, MAPI_CREATE, &ids), S_OK);
    EXPECT_EQ(PROP_ID(ids->aulPropTag[1]), 0x8002u);
    MAPIFreeBuffer(ids);
    EXPECT_EQ(msg->GetIDsFromNames(0, nullptr, 0, &ids), MAPI_E_INVALID_PARAMETER);
}

TEST_F(Messages, ReadFlagChangesAtOnce)
{
    Com<IMessage> ro; // read access is enough
    open(entryid_of(*box.pst, *box.mail[1]), ro, MAPI_MESSAGE, 0);
    ASSERT_EQ(ro->SetReadFlag(0), S_OK);
    EXPECT_EQ(box.mail[1]->props.i4(PR_MESSAGE_FLAGS), static_cast<LONG>(MSGFLAG_READ));
    ASSERT_EQ(ro->SetReadFlag(CLEAR_READ_FLAG), S_OK);
    EXPECT_EQ(box.mail[1]->props.i4(PR_MESSAGE_FLAGS), 0);
    EXPECT_EQ(ro->SetReadFlag(CLEAR_READ_FLAG | SUPPRESS_RECEIPT), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(ro->SetReadFlag(0x1000), MAPI_E_UNKNOWN_FLAGS);
    EXPECT_EQ(mapisim_call_count_of("IMessage::SetReadFlag"), 4u);
}

TEST_F(Messages, StreamsOverTextAndBinaryProperties)
{
    Com<IStream> s;
    ASSERT_EQ(msg->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, s.unk()), S_OK);
    STATSTG st{};
    ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, 11u); // no terminator
    EXPECT_EQ(read_all(s.get()), "Hello there");
    LARGE_INTEGER back{};
    back.QuadPart = -5;
    ULARGE_INTEGER pos{};
    ASSERT_EQ(s->Seek(back, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 6u);
    EXPECT_EQ(read_all(s.get()), "there");
    back.QuadPart = -100;
    EXPECT_EQ(s->Seek(back, STREAM_SEEK_CUR, nullptr), STG_E_INVALIDFUNCTION);
    ULONG n = 0;
    EXPECT_EQ(s->Write("x", 1, &n), STG_E_ACCESSDENIED);

    // The _W form of the same body, as UTF-16.
    ASSERT_EQ(msg->OpenProperty(PR_BODY_W, &IID_IStream, 0, 0, s.unk()), S_OK);
    EXPECT_EQ(read_all(s.get()).size(), 22u);

    EXPECT_EQ(msg->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, s.unk()), MAPI_E_NOT_FOUND);
    EXPECT_EQ(msg->OpenProperty(PR_BODY_A, nullptr, 0, 0, s.unk()), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(msg->OpenProperty(PR_BODY_A, &IID_IMessage, 0, 0, s.unk()),
              MAPI_E_INTERFACE_NOT_SUPPORTED);

    // Writing through a stream lands in the message when committed and saved.
    ASSERT_EQ(msg->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_MODIFY | MAPI_CREATE, s.unk()),
              S_OK);
    ASSERT_EQ(s->Write("New body", 8, &n), S_OK);
    ASSERT_EQ(s->Commit(0), S_OK);
    s.reset();
    ASSERT_EQ(msg->SaveChanges(0), S_OK);
    EXPECT_EQ(box.mail[0]->props.text(PR_BODY_A), "New body");
}

// A read-only stream reads the stored bytes where they are; what changes
// the property afterwards (SetProps, a writing stream, a save, an edit of
// the model) must not reach it, nor a copy another object holds.
TEST_F(Messages, StreamsKeepTheBytesTheyWereOpenedOn)
{
    Com<IStream> old_body;
    ASSERT_EQ(msg->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_DEFERRED_ERRORS, old_body.unk()),
              S_OK);
    char head[6] = {};
    ULONG n = 0;
    ASSERT_EQ(old_body->Read(head, 6, &n), S_OK);
    EXPECT_EQ(std::string(head, n), "Hello ");
    Com<IMessage> other; // opened before anything changes
    open(entryid_of(*box.pst, *box.mail[0]), other, MAPI_MESSAGE);

    SPropValue v{};
    v.ulPropTag = PR_BODY_A;
    v.Value.lpszA = const_cast<LPSTR>("Changed by SetProps");
    ASSERT_EQ(msg->SetProps(1, &v, nullptr), S_OK);
    // Now the object's values are its own alone: the stream's hold must
    // still keep the next change from landing in place.
    Com<IStream> changed;
    ASSERT_EQ(msg->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, changed.unk()), S_OK);
    Com<IStream> writer;
    ASSERT_EQ(msg->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_MODIFY, writer.unk()), S_OK);
    ASSERT_EQ(writer->Write("Written", 7, &n), S_OK);
    ASSERT_EQ(writer->Commit(0), S_OK);
    writer.reset();
    box.mail[0]->props.set(Value::string8(PR_BODY_A, "Edited in the model"));
    EXPECT_EQ(read_all(old_body.get()), "there");
    EXPECT_EQ(read_all(changed.get()), "Changed by SetProps");

    // The object's own stream shows its own change, the other object's the
    // body as it was when it opened.
    Com<IStream> mine;
    ASSERT_EQ(msg->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, mine.unk()), S_OK);
    EXPECT_EQ(read_all(mine.get()), "Written by SetProps");
    Com<IStream> theirs;
    ASSERT_EQ(other->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, theirs.unk()), S_OK);
    EXPECT_EQ(read_all(theirs.get()), "Hello there");

    // Saved, the change reaches the model; the streams already open keep
    // their bytes, also once their message is released.
    ASSERT_EQ(msg->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    EXPECT_EQ(box.mail[0]->props.text(PR_BODY_A), "Written by SetProps");
    LARGE_INTEGER start{};
    ASSERT_EQ(theirs->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
    other.reset();
    STATSTG st{};
    ASSERT_EQ(theirs->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, 11u);
    EXPECT_EQ(st.grfMode, static_cast<DWORD>(STGM_READ));
    EXPECT_EQ(read_all(theirs.get()), "Hello there");
    EXPECT_EQ(theirs->Write("x", 1, &n), STG_E_ACCESSDENIED);
    ULARGE_INTEGER size{};
    EXPECT_EQ(theirs->SetSize(size), STG_E_ACCESSDENIED);
}

TEST_F(Messages, AttachmentsByValueAndEmbedded)
{
    Com<IMAPITable> table;
    ASSERT_EQ(msg->GetAttachmentTable(MAPI_DEFERRED_ERRORS, table.out()), S_OK);
    auto cols = tags({PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_ATTACH_LONG_FILENAME_A, PR_ATTACH_SIZE,
                      PR_RENDERING_POSITION, PR_DISPLAY_NAME_A});
    Rows rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), as_tags(cols), nullptr, nullptr, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(0, 1).Value.l, static_cast<LONG>(ATTACH_BY_VALUE));
    EXPECT_EQ(text(rows.at(0, 2)), "a.txt");
    EXPECT_EQ(rows.at(0, 3).Value.l, 4);
    EXPECT_EQ(PROP_TYPE(rows.at(0, 4).ulPropTag), PT_ERROR);
    EXPECT_EQ(rows.at(1, 1).Value.l, static_cast<LONG>(ATTACH_EMBEDDED_MSG));
    EXPECT_EQ(text(rows.at(1, 5)), "Inner");

    Com<IAttach> file;
    ASSERT_EQ(msg->OpenAttach(static_cast<ULONG>(rows.at(0, 0).Value.l), nullptr, MAPI_BEST_ACCESS,
                              file.out()),
              S_OK);
    Com<IStream> data;
    ASSERT_EQ(
        file->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_DEFERRED_ERRORS, data.unk()),
        S_OK);
    char buf[8];
    ULONG n = 0;
    ASSERT_EQ(data->Read(buf, sizeof buf, &n), S_OK);
    EXPECT_EQ(std::string(buf, n), "data");
    Com<IMessage> none;
    EXPECT_EQ(file->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, none.unk()),
              MAPI_E_NOT_FOUND);

    Com<IAttach> wrapper;
    ASSERT_EQ(msg->OpenAttach(static_cast<ULONG>(rows.at(1, 0).Value.l), nullptr, 0, wrapper.out()),
              S_OK);
    Com<IMessage> inner;
    ASSERT_EQ(wrapper->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_DEFERRED_ERRORS,
                                    inner.unk()),
              S_OK);
    Props p;
    get_props(inner.get(), {PR_SUBJECT_A, PR_ENTRYID}, p);
    EXPECT_EQ(text(p[0]), "Inner");
    EXPECT_EQ(PROP_TYPE(p[1].ulPropTag), PT_ERROR); // embedded messages have no identifier
    EXPECT_EQ(wrapper->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, data.unk()),
              MAPI_E_NOT_FOUND);
    EXPECT_EQ(msg->OpenAttach(99, nullptr, 0, file.out()), MAPI_E_NOT_FOUND);
    // The attachment keeps its message object alive.
    msg.reset();
    inner.reset();
    get_props(wrapper.get(), {PR_ATTACH_METHOD}, p);
    EXPECT_EQ(p.hr, S_OK);
}

TEST_F(Messages, RecipientTable)
{
    Com<IMAPITable> table;
    ASSERT_EQ(msg->GetRecipientTable(MAPI_DEFERRED_ERRORS, table.out()), S_OK);
    auto cols = tags({PR_RECIPIENT_TYPE, PR_ADDRTYPE_A, PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A,
                      PR_RECIPIENT_DISPLAY_NAME_A});
    ASSERT_EQ(table->SetColumns(as_tags(cols), TBL_BATCH), S_OK);
    Rows rows;
    ASSERT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.at(0, 0).Value.l, static_cast<LONG>(MAPI_TO));
    EXPECT_EQ(PROP_TYPE(rows.at(0, 4).ulPropTag), PT_ERROR);
    ASSERT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    EXPECT_EQ(text(rows.at(0, 3)), "ann@example.com");
    ASSERT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    EXPECT_EQ(rows.size(), 0u);
}

TEST_F(Messages, CreateMessageAppearsOnSave)
{
    Com<IMAPIFolder> drafts;
    open(entryid_of(*box.pst, *box.drafts), drafts, MAPI_FOLDER);
    Com<IMessage> fresh;
    ASSERT_EQ(drafts->CreateMessage(nullptr, MAPI_DEFERRED_ERRORS, fresh.out()), S_OK);
    Props p;
    get_props(fresh.get(), {PR_MESSAGE_FLAGS, PR_PARENT_ENTRYID, PR_ENTRYID}, p);
    EXPECT_EQ(static_cast<ULONG>(p[0].Value.l), MSGFLAG_UNSENT | MSGFLAG_READ);
    EXPECT_EQ(Bytes(p[1].Value.bin.lpb, p[1].Value.bin.lpb + p[1].Value.bin.cb),
              entryid_of(*box.pst, *box.drafts));
    EXPECT_TRUE(box.drafts->messages().empty());
    ASSERT_EQ(fresh->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(box.drafts->messages().size(), 1u);
    get_props(fresh.get(), {PR_ENTRYID}, p);
    ASSERT_EQ(p.hr, S_OK);
    Com<IMessage> reopened;
    open(Bytes(p[0].Value.bin.lpb, p[0].Value.bin.lpb + p[0].Value.bin.cb), reopened, MAPI_MESSAGE);
    // Associated messages go to the associated contents.
    Com<IMessage> config;
    ASSERT_EQ(drafts->CreateMessage(nullptr, MAPI_ASSOCIATED, config.out()), S_OK);
    ASSERT_EQ(config->SaveChanges(0), S_OK);
    EXPECT_TRUE(box.drafts->messages().back()->associated);
}
