// MAPI32's session functions and the session's own tables and objects.
#include "stand_in.h"

using namespace standin;

namespace {

std::string logged(int32_t index, const char* name)
{
    char buf[256];
    return mapisim_call_arg(static_cast<uint32_t>(index), name, buf, sizeof buf) < 0
               ? "<none>"
               : std::string(buf);
}

class Session : public StandIn {};

} // namespace

TEST_F(Session, InitializationIsCounted)
{
    // SetUp initialised once.
    EXPECT_EQ(mapisim_mapi_initialized(), 1u);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    MAPIUninitialize();
    EXPECT_EQ(mapisim_mapi_initialized(), 1u);
    MAPIUninitialize();
    Com<IMAPISession> s;
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, MAPI_USE_DEFAULT, s.out()), MAPI_E_NOT_INITIALIZED);
    Com<IProfAdmin> admin;
    EXPECT_EQ(MAPIAdminProfiles(0, admin.out()), MAPI_E_NOT_INITIALIZED);
    MAPIUninitialize(); // more than initialised: harmless
    MAPIINIT_0 bad{7, 0};
    EXPECT_EQ(MAPIInitialize(&bad), MAPI_E_VERSION);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK); // TearDown's MAPIUninitialize matches this
}

TEST_F(Session, LogonChoosesTheProfileAsMapiDoes)
{
    struct Case {
        const char* profile;
        ULONG flags;
        HRESULT result;
        const char* chosen;
    };
    const Case cases[] = {
        {"work", MAPI_EXTENDED | MAPI_NEW_SESSION, S_OK, "Work"}, // names match without case
        {"Nobody", MAPI_EXTENDED | MAPI_LOGON_UI | MAPI_NEW_SESSION, MAPI_E_LOGON_FAILED, nullptr},
        {"", MAPI_EXTENDED | MAPI_USE_DEFAULT | MAPI_NEW_SESSION, S_OK, "Outlook"},
        {nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, MAPI_E_LOGON_FAILED, nullptr},
        // No name, a dialog allowed: "the user" takes the default unless scripted.
        {"", MAPI_EXTENDED | MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE, S_OK,
         "Outlook"},
    };
    for (const Case& c : cases) {
        Com<IMAPISession> s;
        EXPECT_EQ(MAPILogonEx(0, const_cast<LPSTR>(c.profile), nullptr, c.flags, s.out()), c.result)
            << (c.profile ? c.profile : "(null)") << " " << c.flags;
        const int32_t at = mapisim_call_find("MAPILogonEx", mapisim_call_count() - 1);
        ASSERT_GE(at, 0);
        mapisim_call call{};
        ASSERT_EQ(mapisim_call_get(static_cast<uint32_t>(at), &call), 0);
        EXPECT_EQ(call.flags, c.flags);
        EXPECT_EQ(logged(at, "chosen"), c.chosen ? c.chosen : "<none>");
    }

    mapisim_script_logon_choice("Work");
    Com<IMAPISession> s;
    ASSERT_EQ(
        MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_LOGON_UI | MAPI_NEW_SESSION, s.out()),
        S_OK);
    EXPECT_EQ(logged(mapisim_call_find("MAPILogonEx", mapisim_call_count() - 1), "chosen"), "Work");
    mapisim_script_logon_choice("");
    EXPECT_EQ(
        MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_LOGON_UI | MAPI_NEW_SESSION, s.out()),
        MAPI_E_USER_CANCEL);
    EXPECT_EQ(s.get(), nullptr);
}

TEST_F(Session, LogonWithoutNewSessionJoinsTheSharedOne)
{
    Com<IMAPISession> first, second;
    ASSERT_EQ(MAPILogonEx(0, const_cast<LPSTR>("Work"), nullptr,
                          MAPI_EXTENDED | MAPI_ALLOW_OTHERS | MAPI_NEW_SESSION, first.out()),
              S_OK);
    // The named profile is ignored while a shared session runs.
    ASSERT_EQ(MAPILogonEx(0, const_cast<LPSTR>("Outlook"), nullptr,
                          MAPI_EXTENDED | MAPI_USE_DEFAULT, second.out()),
              S_OK);
    EXPECT_EQ(logged(mapisim_call_find("MAPILogonEx", mapisim_call_count() - 1), "chosen"), "Work");
    first.reset();
    second.reset();
    // Once every user is gone, the default profile again.
    ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_USE_DEFAULT, second.out()),
              S_OK);
    EXPECT_EQ(logged(mapisim_call_find("MAPILogonEx", mapisim_call_count() - 1), "chosen"),
              "Outlook");
}

TEST_F(Session, StoreTableRestrictsAndSorts)
{
    logon();
    Com<IMAPITable> table;
    ASSERT_EQ(session->GetMsgStoresTable(0, table.out()), S_OK);
    auto cols = tags({PR_ENTRYID, PR_DEFAULT_STORE, PR_DISPLAY_NAME_A, PR_PROVIDER_DISPLAY_A});
    ASSERT_EQ(table->SetColumns(as_tags(cols), TBL_BATCH), S_OK);

    SPropValue yes{};
    yes.ulPropTag = PR_DEFAULT_STORE;
    yes.Value.b = TRUE;
    SRestriction r{};
    r.rt = RES_PROPERTY;
    r.res.resProperty = {RELOP_EQ, PR_DEFAULT_STORE, &yes};
    ASSERT_EQ(table->Restrict(&r, TBL_BATCH), S_OK);
    ULONG count = 0;
    ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 1u);

    SPropValue provider{};
    provider.ulPropTag = PR_PROVIDER_DISPLAY_A;
    provider.Value.lpszA = const_cast<LPSTR>("tarsk quillbank");
    r.res.resProperty = {RELOP_NE, PR_PROVIDER_DISPLAY_A, &provider};
    ASSERT_EQ(table->Restrict(&r, TBL_BATCH), S_OK);
    Rows rows;
    ASSERT_EQ(table->QueryRows(10, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(text(rows.at(0, 2)), "Personal Folders");
    EXPECT_EQ(rows.at(0, 1).Value.b, TRUE);
    // Tables hand out short-term identifiers; OpenMsgStore takes them.
    const SBinary& eid = rows.at(0, 0).Value.bin;
    EXPECT_EQ(eid.lpb[0], MAPI_SHORTTERM);
    Com<IMsgStore> store;
    ASSERT_EQ(session->OpenMsgStore(0, eid.cb, reinterpret_cast<LPENTRYID>(eid.lpb), nullptr,
                                    MAPI_BEST_ACCESS, store.out()),
              S_OK);
    Props p;
    get_props(store.get(), {PR_DISPLAY_NAME_A, PR_ENTRYID}, p);
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(text(p[0]), "Personal Folders");
    EXPECT_EQ(p[1].Value.bin.lpb[0], 0); // PR_ENTRYID of an object is long-term
}

TEST_F(Session, StatusTableAndSpooler)
{
    logon("Work");
    Com<IMAPITable> table;
    ASSERT_EQ(session->GetStatusTable(0, table.out()), S_OK);
    Rows rows;
    auto cols = tags({PR_DISPLAY_NAME_A, PR_ENTRYID, PR_PROVIDER_DISPLAY_A, PR_RESOURCE_FLAGS,
                      PR_RESOURCE_TYPE, PR_STATUS_CODE});
    ASSERT_EQ(HrQueryAllRows(table.get(), as_tags(cols), nullptr, nullptr, 0, rows.out()), S_OK);
    // Work has no stores or transports: the subsystem and the spooler.
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(0, 4).Value.l, static_cast<LONG>(MAPI_SUBSYSTEM));
    EXPECT_EQ(text(rows.at(0, 0)), "Work");
    EXPECT_EQ(rows.at(1, 4).Value.l, static_cast<LONG>(MAPI_SPOOLER));
    EXPECT_EQ(rows.at(1, 5).Value.l, static_cast<LONG>(STATUS_AVAILABLE));

    session.reset();
    logon();
    ASSERT_EQ(session->GetStatusTable(0, table.out()), S_OK);
    ASSERT_EQ(HrQueryAllRows(table.get(), as_tags(cols), nullptr, nullptr, 0, rows.out()), S_OK);
    // Subsystem, spooler, two stores, two transports; the fax has no status code.
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows.at(4, 4).Value.l, static_cast<LONG>(MAPI_TRANSPORT_PROVIDER));
    EXPECT_EQ(PROP_TYPE(rows.at(5, 5).ulPropTag), PT_ERROR);

    const SBinary& spooler = rows.at(1, 1).Value.bin;
    const SBinary& transport = rows.at(4, 1).Value.bin;
    Com<IMAPIStatus> status;
    ULONG type = 0;
    ASSERT_EQ(session->OpenEntry(spooler.cb, reinterpret_cast<LPENTRYID>(spooler.lpb),
                                 &IID_IMAPIStatus, MAPI_BEST_ACCESS, &type, status.unk()),
              S_OK);
    EXPECT_EQ(type, MAPI_STATUS);
    mapisim_call_log_clear();
    ASSERT_EQ(status->FlushQueues(0, transport.cb, reinterpret_cast<LPENTRYID>(transport.lpb),
                                  FLUSH_UPLOAD | FLUSH_DOWNLOAD),
              S_OK);
    mapisim_call call{};
    ASSERT_EQ(mapisim_call_get(0, &call), 0);
    EXPECT_STREQ(call.method, "IMAPIStatus::FlushQueues");
    EXPECT_EQ(call.flags, FLUSH_UPLOAD | FLUSH_DOWNLOAD);
    EXPECT_EQ(logged(0, "transport"), "5");
}

TEST_F(Session, ProfileTableThroughHrQueryAllRows)
{
    Com<IProfAdmin> admin;
    ASSERT_EQ(MAPIAdminProfiles(0, admin.out()), S_OK);
    Com<IMAPITable> table;
    ASSERT_EQ(admin->GetProfileTable(0, table.out()), S_OK);
    SPropValue yes{};
    yes.ulPropTag = PR_DEFAULT_PROFILE;
    yes.Value.b = TRUE;
    SRestriction r{};
    r.rt = RES_PROPERTY;
    r.res.resProperty = {RELOP_EQ, PR_DEFAULT_PROFILE, &yes};
    auto cols = tags({PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE});
    Rows rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), as_tags(cols), &r, nullptr, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(text(rows.at(0, 0)), "Outlook");
    // A limit below the row count is refused.
    ASSERT_EQ(table->Restrict(nullptr, 0), S_OK);
    EXPECT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 1, rows.out()),
              MAPI_E_TABLE_TOO_BIG);
}

TEST_F(Session, AddressBookPabAndContents)
{
    logon();
    Com<IAddrBook> ab;
    ASSERT_EQ(session->OpenAddressBook(0, nullptr, AB_NO_DIALOG, ab.out()), S_OK);
    ULONG cb = 0;
    Buffer eid;
    ASSERT_EQ(ab->GetPAB(&cb, reinterpret_cast<LPENTRYID*>(&eid.p)), S_OK);
    ASSERT_GT(cb, 0u);
    Com<IABContainer> pab;
    ULONG type = 0;
    ASSERT_EQ(ab->OpenEntry(cb, eid.as<ENTRYID>(), nullptr, MAPI_BEST_ACCESS, &type, pab.unk()),
              S_OK);
    EXPECT_EQ(type, MAPI_ABCONT);
    Com<IMAPITable> table;
    ASSERT_EQ(pab->GetContentsTable(0, table.out()), S_OK);
    SSortOrderSet by_name{1, 0, 0, {{PR_DISPLAY_NAME_A, TABLE_SORT_ASCEND}}};
    auto cols = tags({PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A, PR_ENTRYID, PR_COMPANY_NAME_A});
    Rows rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), as_tags(cols), nullptr, &by_name, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(text(rows.at(0, 0)), "adam");
    EXPECT_EQ(PROP_TYPE(rows.at(0, 3).ulPropTag), PT_ERROR);
    Com<IMailUser> user;
    const SBinary& zoe = rows.at(1, 2).Value.bin;
    ASSERT_EQ(session->OpenEntry(zoe.cb, reinterpret_cast<LPENTRYID>(zoe.lpb), nullptr, 0, &type,
                                 user.unk()),
              S_OK);
    EXPECT_EQ(type, MAPI_MAILUSER);

    // A distribution list is neither a mail user nor a container.
    Com<IABContainer> list; // IDistList has IABContainer's methods
    const SBinary& listId = rows.at(2, 2).Value.bin;
    ASSERT_EQ(ab->OpenEntry(listId.cb, reinterpret_cast<LPENTRYID>(listId.lpb), &IID_IDistList, 0,
                            &type, list.unk()),
              S_OK);
    EXPECT_EQ(type, MAPI_DISTLIST);
    Com<IUnknown> other;
    EXPECT_EQ(list->QueryInterface(IID_IMailUser, reinterpret_cast<void**>(other.out())),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
    Buffer values;
    ULONG count = 0;
    auto objectType = tags({PR_OBJECT_TYPE});
    ASSERT_EQ(
        list->GetProps(as_tags(objectType), 0, &count, reinterpret_cast<LPSPropValue*>(&values.p)),
        S_OK);
    EXPECT_EQ(values.as<SPropValue>()->Value.l, static_cast<LONG>(MAPI_DISTLIST));
    Com<IMAPITable> members;
    ASSERT_EQ(list->GetContentsTable(0, members.out()), S_OK);
    ULONG memberCount = 99;
    EXPECT_EQ(members->GetRowCount(0, &memberCount), S_OK);
    EXPECT_EQ(memberCount, 0u);
    Com<IMAPITable> hierarchy;
    EXPECT_EQ(list->GetHierarchyTable(0, hierarchy.out()), MAPI_E_NO_SUPPORT);

    // The dialog: what it was shown with, and nothing for a call refused
    // before it showed.
    mapisim_address_dialog seen{};
    EXPECT_EQ(mapisim_last_address_dialog(&seen), -1);
    ADRPARM parm{};
    parm.ulFlags = DIALOG_MODAL;
    parm.lpszCaption = const_cast<LPSTR>("Pick one");
    ULONG_PTR ui = 0x1234;
    mapisim_script_address_dialog(MAPI_E_USER_CANCEL);
    EXPECT_EQ(ab->Address(&ui, &parm, nullptr), MAPI_E_USER_CANCEL);
    EXPECT_EQ(mapisim_call_count_of("IAddrBook::Address"), 1u);
    EXPECT_EQ(ab->Address(&ui, nullptr, nullptr), MAPI_E_INVALID_PARAMETER);
    ASSERT_EQ(mapisim_last_address_dialog(&seen), 0);
    EXPECT_EQ(seen.window, 0x1234u);
    EXPECT_EQ(seen.flags, static_cast<uint32_t>(DIALOG_MODAL));
    EXPECT_EQ(seen.dest_fields, 0u);
    EXPECT_EQ(seen.address_list, 0);
    EXPECT_STREQ(seen.caption, "Pick one");
    EXPECT_EQ(seen.result, static_cast<int32_t>(MAPI_E_USER_CANCEL));
    EXPECT_EQ(mapisim_last_address_dialog(nullptr), -1);
}

TEST_F(Session, NoPabGivesAnEmptyIdentifier)
{
    logon("Work");
    Com<IAddrBook> ab;
    ASSERT_EQ(session->OpenAddressBook(0, nullptr, AB_NO_DIALOG, ab.out()), S_OK);
    ULONG cb = 99;
    LPENTRYID eid = reinterpret_cast<LPENTRYID>(&cb);
    ASSERT_EQ(ab->GetPAB(&cb, &eid), S_OK);
    EXPECT_EQ(cb, 0u);
    EXPECT_EQ(eid, nullptr);
}

TEST_F(Session, FormsTakeTheMessageUntilShown)
{
    logon();
    Com<IMessage> msg;
    open(entryid_of(*box.pst, *box.mail[1]), msg, MAPI_MESSAGE);
    Com<IMsgStore> store;
    open_store(store, *box.pst);
    Com<IMAPIFolder> inbox;
    open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
    ULONG token = 0;
    ASSERT_EQ(session->PrepareForm(nullptr, msg.get(), &token), S_OK);
    msg.reset(); // the session holds it now
    mapisim_script_show_form(MAPI_E_USER_CANCEL);
    EXPECT_EQ(session->ShowForm(0, store.get(), inbox.get(), nullptr, token, nullptr,
                                MAPI_POST_MESSAGE, 0, 1, 3, const_cast<LPSTR>("IPM.Note")),
              MAPI_E_USER_CANCEL);
    // A token is good once.
    EXPECT_EQ(session->ShowForm(0, store.get(), inbox.get(), nullptr, token, nullptr,
                                MAPI_POST_MESSAGE, 0, 1, 3, const_cast<LPSTR>("IPM.Note")),
              MAPI_E_INVALID_PARAMETER);

    mapisim_form form{};
    ASSERT_EQ(mapisim_last_form(&form), 0);
    EXPECT_EQ(form.token, token);
    EXPECT_EQ(form.result, MAPI_E_USER_CANCEL);
    EXPECT_STREQ(form.folder, box.inbox->display_name().c_str());
    EXPECT_STREQ(form.store, box.pst->display_name.c_str());
    EXPECT_EQ(form.message_flags, 1u);
    EXPECT_EQ(form.access, 3u);
}

TEST_F(Session, AFailingShowFormStillUsesUpItsToken)
{
    logon();
    EXPECT_EQ(mapisim_last_form(nullptr), -1);
    mapisim_form form{};
    EXPECT_EQ(mapisim_last_form(&form), -1);
    Com<IMessage> msg;
    open(entryid_of(*box.pst, *box.mail[1]), msg, MAPI_MESSAGE);
    Com<IMsgStore> store;
    open_store(store, *box.pst);
    Com<IMAPIFolder> inbox;
    open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
    ULONG token = 0;
    ASSERT_EQ(session->PrepareForm(nullptr, msg.get(), &token), S_OK);
    msg.reset();
    const uint32_t held = mapisim_live_objects();
    mapisim_fail_method("IMAPISession::ShowForm", 1, 0, MAPI_E_CALL_FAILED);
    EXPECT_EQ(session->ShowForm(0x1F, store.get(), inbox.get(), nullptr, token, nullptr, 0, 0, 0, 0,
                                nullptr),
              MAPI_E_CALL_FAILED);
    EXPECT_EQ(mapisim_live_objects(), held - 1); // the message is let go
    EXPECT_EQ(mapisim_last_form(&form), -1);     // and no form was shown
}
