// Fault injection, the call log, GetLastError and leak accounting: every
// MAPI call can be made to fail, and nothing leaks when one does.
#include <functional>

#include "stand_in.h"

using namespace standin;

namespace {

class Faults : public StandIn {};

// A typical road through the stand-in; stops at the first failure. Returns
// the HRESULT it stopped at (S_OK when it went through).
HRESULT tour(Mailbox& box)
{
    Com<IMAPISession> session;
    HRESULT hr = MAPILogonEx(0, nullptr, nullptr,
                             MAPI_EXTENDED | MAPI_USE_DEFAULT | MAPI_NEW_SESSION, session.out());
    if (FAILED(hr)) return hr;
    Com<IMAPITable> stores;
    if (FAILED(hr = session->GetMsgStoresTable(0, stores.out()))) return hr;
    auto cols = tags({PR_ENTRYID, PR_DISPLAY_NAME_A});
    Rows rows;
    if (FAILED(hr = HrQueryAllRows(stores.get(), as_tags(cols), nullptr, nullptr, 0, rows.out())))
        return hr;
    const SBinary& seid = rows.at(0, 0).Value.bin;
    Com<IMsgStore> store;
    if (FAILED(hr = session->OpenMsgStore(0, seid.cb, reinterpret_cast<LPENTRYID>(seid.lpb),
                                          nullptr, MAPI_BEST_ACCESS, store.out())))
        return hr;
    LPSPropValue root = nullptr;
    if (FAILED(hr = HrGetOneProp(store.get(), PR_IPM_SUBTREE_ENTRYID, &root))) return hr;
    Buffer hold;
    hold.p = root;
    Com<IMAPIFolder> top;
    ULONG type = 0;
    if (FAILED(hr = store->OpenEntry(root->Value.bin.cb,
                                     reinterpret_cast<LPENTRYID>(root->Value.bin.lpb), nullptr,
                                     MAPI_BEST_ACCESS, &type, top.unk())))
        return hr;
    Com<IMAPITable> hier;
    if (FAILED(hr = top->GetHierarchyTable(0, hier.out()))) return hr;
    if (FAILED(hr = hier->SetColumns(as_tags(cols), TBL_BATCH))) return hr;
    SSortOrderSet by_name{1, 0, 0, {{PR_DISPLAY_NAME_A, TABLE_SORT_ASCEND}}};
    if (FAILED(hr = hier->SortTable(&by_name, TBL_BATCH))) return hr;
    Rows folders;
    for (;;) {
        if (FAILED(hr = hier->QueryRows(1, 0, folders.out()))) return hr;
        if (folders.size() == 0) return MAPI_E_NOT_FOUND;
        if (text(folders.at(0, 1)) == "Inbox") break;
    }
    const SBinary& feid = folders.at(0, 0).Value.bin;
    Com<IMAPIFolder> inbox;
    if (FAILED(hr = session->OpenEntry(feid.cb, reinterpret_cast<LPENTRYID>(feid.lpb), nullptr,
                                       MAPI_BEST_ACCESS, &type, inbox.unk())))
        return hr;
    Com<IMAPITable> contents;
    if (FAILED(hr = inbox->GetContentsTable(MAPI_DEFERRED_ERRORS, contents.out()))) return hr;
    auto mcols = tags({PR_ENTRYID, PR_SUBJECT_A, PR_MESSAGE_DELIVERY_TIME});
    Rows msgs;
    if (FAILED(hr =
                   HrQueryAllRows(contents.get(), as_tags(mcols), nullptr, nullptr, 0, msgs.out())))
        return hr;
    const SBinary& meid = msgs.at(0, 0).Value.bin;
    Com<IMessage> msg;
    if (FAILED(hr = inbox->OpenEntry(meid.cb, reinterpret_cast<LPENTRYID>(meid.lpb), nullptr,
                                     MAPI_BEST_ACCESS, &type, msg.unk())))
        return hr;
    Props p;
    get_props(msg.get(), {PR_SUBJECT_A, PR_BODY_A, PR_MESSAGE_SIZE}, p);
    if (FAILED(p.hr)) return p.hr;
    Com<IStream> body;
    if (FAILED(hr = msg->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, body.unk()))) return hr;
    char buf[64];
    ULONG n = 0;
    if (FAILED(hr = body->Read(buf, sizeof buf, &n))) return hr;
    Com<IMAPITable> attachments;
    if (FAILED(hr = msg->GetAttachmentTable(0, attachments.out()))) return hr;
    Com<IAttach> att;
    if (FAILED(hr = msg->OpenAttach(0, nullptr, MAPI_BEST_ACCESS, att.out()))) return hr;
    SPropValue flag{};
    flag.ulPropTag = PR_IMPORTANCE;
    flag.Value.l = 2;
    if (FAILED(hr = msg->SetProps(1, &flag, nullptr))) return hr;
    if (FAILED(hr = msg->SaveChanges(KEEP_OPEN_READWRITE))) return hr;
    Com<IMAPIFolder> made;
    if (FAILED(hr = top->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("Tour"), nullptr, nullptr,
                                      OPEN_IF_EXISTS, made.out())))
        return hr;
    (void)box;
    return S_OK;
}

} // namespace

TEST_F(Faults, NthCallOnceOrPersistently)
{
    logon();
    Com<IMAPITable> table;
    ASSERT_EQ(session->GetStatusTable(0, table.out()), S_OK);
    Rows rows;
    ASSERT_EQ(mapisim_fail_method("IMAPITable::QueryRows", 2, 0, MAPI_E_NETWORK_ERROR), 0);
    EXPECT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    EXPECT_EQ(table->QueryRows(1, 0, rows.out()), MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    const int32_t at = mapisim_call_find("IMAPITable::QueryRows", 0);
    mapisim_call call{};
    ASSERT_EQ(mapisim_call_get(static_cast<uint32_t>(at) + 1, &call), 0);
    EXPECT_EQ(call.injected, 1);
    EXPECT_EQ(call.result, MAPI_E_NETWORK_ERROR);

    mapisim_clear_faults();
    ASSERT_EQ(mapisim_fail_method("*::GetRowCount", 1, 1, MAPI_E_BUSY), 0);
    ULONG n = 0;
    EXPECT_EQ(table->GetRowCount(0, &n), MAPI_E_BUSY);
    EXPECT_EQ(table->GetRowCount(0, &n), MAPI_E_BUSY);
    mapisim_clear_faults();
    EXPECT_EQ(table->GetRowCount(0, &n), S_OK);

    ASSERT_EQ(mapisim_fail_method("MAPILogonEx", 1, 0, MAPI_E_LOGON_FAILED), 0);
    Com<IMAPISession> s;
    EXPECT_EQ(MAPILogonEx(0, const_cast<LPSTR>("Outlook"), nullptr, MAPI_EXTENDED, s.out()),
              MAPI_E_LOGON_FAILED);
    EXPECT_EQ(s.get(), nullptr);

    EXPECT_EQ(mapisim_fail_method(nullptr, 1, 0, E_FAIL), -1);
    EXPECT_EQ(mapisim_fail_method("*", 0, 0, E_FAIL), -1);
    EXPECT_EQ(mapisim_fail_method("*", 1, 0, S_OK), -1);
}

TEST_F(Faults, CallLogCanBeTurnedOffWhileFaultsStillApply)
{
    logon();
    Com<IMAPITable> table;
    ASSERT_EQ(session->GetStatusTable(0, table.out()), S_OK);
    mapisim_call_log_clear();
    mapisim_set_call_log(0);
    ASSERT_EQ(mapisim_fail_method("IMAPITable::GetRowCount", 2, 0, MAPI_E_BUSY), 0);
    ULONG n = 0;
    EXPECT_EQ(table->GetRowCount(0, &n), S_OK);
    EXPECT_EQ(table->GetRowCount(0, &n), MAPI_E_BUSY);
    EXPECT_EQ(mapisim_call_count(), 0u);

    mapisim_set_call_log(1);
    EXPECT_EQ(table->GetRowCount(0, &n), S_OK);
    EXPECT_EQ(mapisim_call_count_of("IMAPITable::GetRowCount"), 1u);
}

TEST_F(Faults, GetLastErrorDescribesTheLastFailure)
{
    logon();
    Com<IMAPIFolder> top;
    open(entryid_of(*box.pst, *box.top), top, MAPI_FOLDER);
    Com<IMAPIFolder> dup;
    ASSERT_EQ(top->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("INBOX"), nullptr, nullptr, 0,
                                dup.out()),
              MAPI_E_COLLISION);
    LPMAPIERROR err = nullptr;
    ASSERT_EQ(top->GetLastError(MAPI_E_COLLISION, 0, &err), S_OK);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(std::string(err->lpszError).find("Inbox"), std::string::npos);
    EXPECT_STREQ(err->lpszComponent, "mapisim");
    MAPIFreeBuffer(err);
    ASSERT_EQ(top->GetLastError(MAPI_E_COLLISION, MAPI_UNICODE, &err), S_OK);
    EXPECT_EQ(reinterpret_cast<const char16_t*>(err->lpszComponent), std::u16string(u"mapisim"));
    MAPIFreeBuffer(err);
    // Nothing to say about another result.
    ASSERT_EQ(top->GetLastError(MAPI_E_NOT_FOUND, 0, &err), S_OK);
    EXPECT_EQ(err, nullptr);
}

TEST_F(Faults, FailingEveryCallOfATourInTurnLeaksNothing)
{
    mapisim_call_log_clear();
    ASSERT_EQ(tour(box), S_OK);
    const uint32_t calls = mapisim_call_count();
    ASSERT_GT(calls, 30u);
    const uint32_t objects = mapisim_live_objects();
    const uint32_t allocations = mapisim_live_allocations();
    for (uint32_t nth = 1; nth <= calls; ++nth) {
        for (int persistent = 0; persistent < 2; ++persistent) {
            mapisim_reset();
            Mailbox fresh = standard_mailbox();
            install(fresh.world);
            ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
            mapisim_call_log_clear();
            ASSERT_EQ(mapisim_fail_method("*", nth, persistent, MAPI_E_CALL_FAILED), 0);
            const HRESULT hr = tour(fresh);
            mapisim_call call{};
            // The tour either saw the injected failure or went through a call
            // whose failure it ignores.
            if (FAILED(hr)) {
                EXPECT_EQ(hr, MAPI_E_CALL_FAILED) << "call " << nth;
            }
            ASSERT_EQ(mapisim_call_get(nth - 1, &call), 0);
            EXPECT_EQ(call.injected, 1) << call.method;
            EXPECT_EQ(mapisim_live_objects(), objects) << "after failing " << call.method;
            EXPECT_EQ(mapisim_live_allocations(), allocations) << "after failing " << call.method;
            MAPIUninitialize();
        }
    }
    mapisim_clear_faults();
}

TEST_F(Faults, FailingAllocationsLeakNothing)
{
    logon();
    Com<IMessage> msg;
    open(entryid_of(*box.pst, *box.mail[0]), msg, MAPI_MESSAGE);
    Com<IMAPIFolder> inbox;
    open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
    Com<IMAPITable> table;
    ASSERT_EQ(inbox->GetContentsTable(0, table.out()), S_OK);
    auto cols = tags({PR_ENTRYID, PR_SUBJECT_A, PR_SENDER_NAME_A, PR_IMPORTANCE});
    ASSERT_EQ(table->SetColumns(as_tags(cols), 0), S_OK);
    const uint32_t allocations = mapisim_live_allocations();
    for (uint32_t nth = 1; nth < 40; ++nth) {
        mapisim_fail_allocation(nth, 0);
        Props p;
        get_props(msg.get(), {PR_SUBJECT_A, PR_ENTRYID, PR_BODY_A, PR_DISPLAY_TO_A}, p);
        MAPIFreeBuffer(p.p);
        p.p = nullptr;
        Rows rows;
        ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
        const HRESULT hr = table->QueryRows(10, 0, rows.out());
        EXPECT_TRUE(hr == S_OK || hr == MAPI_E_NOT_ENOUGH_MEMORY);
        if (hr != S_OK) {
            EXPECT_EQ(rows.p, nullptr);
        }
        rows.out();
        mapisim_fail_allocation(0, 0);
        EXPECT_EQ(mapisim_live_allocations(), allocations) << nth;
    }
}

TEST_F(Faults, ReleasingADeadObjectIsCountedNotACrash)
{
    logon();
    IMAPITable* table = nullptr;
    ASSERT_EQ(session->GetStatusTable(0, &table), S_OK);
    const uint32_t before = mapisim_dead_calls();
    EXPECT_EQ(table->Release(), 0u);
    table->Release(); // once too often
    EXPECT_EQ(mapisim_dead_calls(), before + 1);
    mapisim_reset_misuse_counters();
}

TEST_F(Faults, CallLogArgumentsAndNullArguments)
{
    logon();
    char buf[8];
    const int32_t at = mapisim_call_find("MAPILogonEx", 0);
    ASSERT_GE(at, 0);
    EXPECT_EQ(mapisim_call_arg(static_cast<uint32_t>(at), "profile", buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "Outlook");
    EXPECT_EQ(mapisim_call_arg(static_cast<uint32_t>(at), "profile", buf, 4), 7);
    EXPECT_STREQ(buf, "Out");
    EXPECT_EQ(mapisim_call_arg(static_cast<uint32_t>(at), "nothing", buf, sizeof buf), -1);
    EXPECT_EQ(mapisim_call_arg(100000, "profile", buf, sizeof buf), -1);
    EXPECT_EQ(mapisim_call_get(100000, nullptr), -1);

    // Null out-arguments everywhere give MAPI_E_INVALID_PARAMETER, not a crash.
    EXPECT_EQ(session->GetMsgStoresTable(0, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(session->OpenEntry(0, nullptr, nullptr, 0, nullptr, nullptr),
              MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(HrQueryAllRows(nullptr, nullptr, nullptr, nullptr, 0, nullptr),
              MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(HrGetOneProp(nullptr, PR_SUBJECT_A, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(WrapCompressedRTFStream(nullptr, 0, nullptr), MAPI_E_INVALID_PARAMETER);
}
