// Entry identifiers: short- and long-term forms, what opens what, and what
// garbage gets instead of a crash.
#include "stand_in.h"

using namespace standin;

namespace {

class EntryIds : public StandIn {
protected:
    void SetUp() override
    {
        StandIn::SetUp();
        logon();
        open_store(store, *box.pst);
    }
    void TearDown() override
    {
        store.reset();
        StandIn::TearDown();
    }

    HRESULT store_open(const Bytes& eid, ULONG& type, Com<IUnknown>& out)
    {
        return store->OpenEntry(static_cast<ULONG>(eid.size()),
                                reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(eid.data())), nullptr,
                                MAPI_BEST_ACCESS, &type, out.unk());
    }

    Com<IMsgStore> store;
};

} // namespace

TEST_F(EntryIds, ShortAndLongTermOpenTheSameObjectAndCompareEqual)
{
    Com<IMAPIFolder> inbox;
    open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
    Com<IMAPITable> table;
    ASSERT_EQ(inbox->GetContentsTable(0, table.out()), S_OK);
    auto cols = tags({PR_ENTRYID});
    ASSERT_EQ(table->SetColumns(as_tags(cols), 0), S_OK);
    Rows rows;
    ASSERT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    const SBinary& st = rows.at(0, 0).Value.bin;
    ASSERT_NE(st.lpb[0], 0);
    const Bytes lt = entryid_of(*box.pst, *box.mail[0]);
    ASSERT_EQ(st.cb, lt.size());

    Com<IMessage> a, b;
    ULONG type = 0;
    ASSERT_EQ(
        session->OpenEntry(st.cb, reinterpret_cast<LPENTRYID>(st.lpb), nullptr, 0, &type, a.unk()),
        S_OK);
    open(lt, b, MAPI_MESSAGE);
    Props pa, pb;
    get_props(a.get(), {PR_ENTRYID}, pa);
    get_props(b.get(), {PR_ENTRYID}, pb);
    EXPECT_EQ(Bytes(pa[0].Value.bin.lpb, pa[0].Value.bin.lpb + pa[0].Value.bin.cb), lt);

    ULONG same = 0;
    ASSERT_EQ(session->CompareEntryIDs(
                  st.cb, reinterpret_cast<LPENTRYID>(st.lpb), static_cast<ULONG>(lt.size()),
                  reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(lt.data())), 0, &same),
              S_OK);
    EXPECT_EQ(same, static_cast<ULONG>(TRUE));
    const Bytes other = entryid_of(*box.pst, *box.mail[1]);
    ASSERT_EQ(store->CompareEntryIDs(
                  st.cb, reinterpret_cast<LPENTRYID>(st.lpb), static_cast<ULONG>(other.size()),
                  reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(other.data())), 0, &same),
              S_OK);
    EXPECT_EQ(same, static_cast<ULONG>(FALSE));

    // With the setting off, tables hand out long-term identifiers.
    mapisim_set_short_term_ids(0);
    ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
    ASSERT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    EXPECT_EQ(rows.at(0, 0).Value.bin.lpb[0], 0);
}

TEST_F(EntryIds, StoreOpenEntryNamesRootStoreAndSpecialFolders)
{
    ULONG type = 0;
    Com<IUnknown> obj;
    ASSERT_EQ(store->OpenEntry(0, nullptr, nullptr, 0, &type, obj.unk()), S_OK);
    EXPECT_EQ(type, MAPI_FOLDER);
    Props p;
    get_props(reinterpret_cast<IMAPIFolder*>(obj.get()), {PR_FOLDER_TYPE}, p);
    EXPECT_EQ(p[0].Value.l, static_cast<LONG>(FOLDER_ROOT));

    Props sp;
    get_props(store.get(),
              {PR_ENTRYID, PR_IPM_SUBTREE_ENTRYID, PR_IPM_OUTBOX_ENTRYID,
               PR_IPM_WASTEBASKET_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_FOLDER_TYPE},
              sp);
    ASSERT_EQ(sp.hr, MAPI_W_ERRORS_RETURNED); // a store has no folder type
    Bytes self(sp[0].Value.bin.lpb, sp[0].Value.bin.lpb + sp[0].Value.bin.cb);
    ASSERT_EQ(store_open(self, type, obj), S_OK);
    EXPECT_EQ(type, MAPI_STORE);
    EXPECT_EQ(obj.get(), reinterpret_cast<IUnknown*>(store.get()));
    Bytes wastebasket(sp[3].Value.bin.lpb, sp[3].Value.bin.lpb + sp[3].Value.bin.cb);
    EXPECT_EQ(wastebasket, entryid_of(*box.pst, *box.deleted));

    ULONG cb = 0;
    Buffer eid;
    Buffer cls;
    ASSERT_EQ(store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &cb,
                                      reinterpret_cast<LPENTRYID*>(&eid.p),
                                      reinterpret_cast<LPSTR*>(&cls.p)),
              S_OK);
    EXPECT_EQ(Bytes(eid.as<BYTE>(), eid.as<BYTE>() + cb), entryid_of(*box.pst, *box.inbox));
    EXPECT_STREQ(cls.as<char>(), "");
}

TEST_F(EntryIds, GarbageAndStaleIdentifiersFailCleanly)
{
    ULONG type = 0;
    Com<IUnknown> obj;
    BYTE junk[32] = {0};
    EXPECT_EQ(session->OpenEntry(sizeof junk, reinterpret_cast<LPENTRYID>(junk), nullptr, 0, &type,
                                 obj.unk()),
              MAPI_E_INVALID_ENTRYID);
    EXPECT_EQ(
        session->OpenEntry(3, reinterpret_cast<LPENTRYID>(junk), nullptr, 0, &type, obj.unk()),
        MAPI_E_INVALID_ENTRYID);
    EXPECT_EQ(session->OpenEntry(0, nullptr, nullptr, 0, &type, obj.unk()), MAPI_E_INVALID_ENTRYID);
    ULONG same = 0;
    EXPECT_EQ(session->CompareEntryIDs(sizeof junk, reinterpret_cast<LPENTRYID>(junk), sizeof junk,
                                       reinterpret_cast<LPENTRYID>(junk), 0, &same),
              MAPI_E_UNKNOWN_ENTRYID);

    // A message that was deleted: its identifier is well-formed but names nothing.
    const Bytes gone = entryid_of(*box.pst, *box.mail[3]);
    box.pst->detach_message(*box.mail[3]);
    EXPECT_EQ(store_open(gone, type, obj), MAPI_E_NOT_FOUND);
    // A folder of another store through this store.
    const Bytes elsewhere = mapisim::mapi::encode(
        {mapisim::mapi::Kind::Folder, box.archive->number(), box.archive->ipm_subtree, false});
    EXPECT_EQ(store_open(elsewhere, type, obj), MAPI_E_INVALID_ENTRYID);
    // ... but the session opens it.
    Com<IMAPIFolder> f;
    open(elsewhere, f, MAPI_FOLDER);
    // Asking for an interface the object lacks.
    const Bytes inbox = entryid_of(*box.pst, *box.inbox);
    EXPECT_EQ(session->OpenEntry(static_cast<ULONG>(inbox.size()),
                                 reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(inbox.data())),
                                 &IID_IMessage, 0, &type, obj.unk()),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(obj.get(), nullptr);
}

TEST_F(EntryIds, SwappingTheWorldLeavesOpenObjectsWorking)
{
    Com<IMAPIFolder> inbox;
    open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
    install(nullptr);
    Props p;
    get_props(inbox.get(), {PR_DISPLAY_NAME_A, PR_CONTENT_COUNT}, p);
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(text(p[0]), "Inbox");
    // A new logon sees the new, empty world.
    Com<IMAPISession> s;
    EXPECT_EQ(MAPILogonEx(0, const_cast<LPSTR>("Outlook"), nullptr,
                          MAPI_EXTENDED | MAPI_NEW_SESSION, s.out()),
              MAPI_E_LOGON_FAILED);
}
