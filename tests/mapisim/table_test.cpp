// Tables: restrictions, sorts, cursors, seeks, the row cap, and the live view
// of the container.
#include "stand_in.h"

using namespace standin;

namespace {

class Tables : public StandIn {
protected:
    void SetUp() override
    {
        StandIn::SetUp();
        logon();
        open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
        ASSERT_EQ(inbox->GetContentsTable(0, table.out()), S_OK);
        auto cols = tags({PR_SUBJECT_A, PR_SENDER_NAME_A, PR_IMPORTANCE, PR_MESSAGE_DELIVERY_TIME});
        ASSERT_EQ(table->SetColumns(as_tags(cols), 0), S_OK);
    }

    void TearDown() override
    {
        table.reset();
        inbox.reset();
        StandIn::TearDown();
    }

    // Subjects of the rows from the cursor on, n at a time.
    std::vector<std::string> subjects(LONG n = 100)
    {
        Rows rows;
        EXPECT_EQ(table->QueryRows(n, 0, rows.out()), S_OK);
        std::vector<std::string> out;
        for (ULONG i = 0; i < rows.size(); ++i) out.push_back(text(rows.at(i, 0)));
        return out;
    }

    std::vector<std::string> restricted(const SRestriction& r)
    {
        EXPECT_EQ(table->Restrict(const_cast<LPSRestriction>(&r), 0), S_OK);
        return subjects();
    }

    Com<IMAPIFolder> inbox;
    Com<IMAPITable> table;
};

SRestriction prop(ULONG relop, SPropValue& v)
{
    SRestriction r{};
    r.rt = RES_PROPERTY;
    r.res.resProperty = {relop, v.ulPropTag, &v};
    return r;
}

using Subjects = std::vector<std::string>;

} // namespace

TEST_F(Tables, DefaultOrderIsTheFolders)
{
    EXPECT_EQ(subjects(), (Subjects{"Budget", "agenda", "Zebra crossing", "Agenda", "lunch"}));
    EXPECT_EQ(subjects(), Subjects{}); // at the end: an empty row set, not an error
}

TEST_F(Tables, PropertyRestrictionsForEveryRelop)
{
    SPropValue imp{};
    imp.ulPropTag = PR_IMPORTANCE;
    imp.Value.l = 1;
    EXPECT_EQ(restricted(prop(RELOP_LT, imp)), (Subjects{"Zebra crossing"}));
    EXPECT_EQ(restricted(prop(RELOP_LE, imp)), (Subjects{"Budget", "Zebra crossing", "Agenda"}));
    EXPECT_EQ(restricted(prop(RELOP_GT, imp)), (Subjects{"agenda", "lunch"}));
    EXPECT_EQ(restricted(prop(RELOP_GE, imp)), (Subjects{"Budget", "agenda", "Agenda", "lunch"}));
    EXPECT_EQ(restricted(prop(RELOP_EQ, imp)), (Subjects{"Budget", "Agenda"}));
    EXPECT_EQ(restricted(prop(RELOP_NE, imp)), (Subjects{"agenda", "Zebra crossing", "lunch"}));

    // Texts compare without regard to case, also when the value is a _W one.
    SPropValue subj{};
    subj.ulPropTag = PR_SUBJECT_W;
    subj.Value.lpszW = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(u"AGENDA"));
    SRestriction r = prop(RELOP_EQ, subj);
    r.res.resProperty.ulPropTag = PR_SUBJECT_A;
    EXPECT_EQ(restricted(r), (Subjects{"agenda", "Agenda"}));

    SPropValue when{};
    when.ulPropTag = PR_MESSAGE_DELIVERY_TIME;
    const auto t = day(3).ticks;
    when.Value.ft = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    EXPECT_EQ(restricted(prop(RELOP_GT, when)), (Subjects{"Zebra crossing", "lunch"}));

    SPropValue pattern{};
    pattern.ulPropTag = PR_SUBJECT_A;
    pattern.Value.lpszA = const_cast<LPSTR>("a.*");
    r = prop(RELOP_RE, pattern);
    EXPECT_EQ(table->Restrict(&r, 0), MAPI_E_TOO_COMPLEX);
}

TEST_F(Tables, MissingPropertiesMatchOnlyNotEqual)
{
    box.mail[2]->props.erase(PR_IMPORTANCE);
    SPropValue imp{};
    imp.ulPropTag = PR_IMPORTANCE;
    imp.Value.l = 1;
    EXPECT_EQ(restricted(prop(RELOP_NE, imp)), (Subjects{"agenda", "Zebra crossing", "lunch"}));
    EXPECT_EQ(restricted(prop(RELOP_LT, imp)), Subjects{});

    SRestriction exist{};
    exist.rt = RES_EXIST;
    exist.res.resExist.ulPropTag = PR_IMPORTANCE;
    SRestriction parts[2] = {exist, prop(RELOP_NE, imp)};
    SRestriction both{};
    both.rt = RES_AND;
    both.res.resAnd = {2, parts};
    EXPECT_EQ(restricted(both), (Subjects{"agenda", "lunch"}));
}

TEST_F(Tables, AndOrNotAndContent)
{
    SPropValue needle{};
    needle.ulPropTag = PR_SUBJECT_A;
    needle.Value.lpszA = const_cast<LPSTR>("GEN");
    SRestriction content{};
    content.rt = RES_CONTENT;
    content.res.resContent = {FL_SUBSTRING | FL_IGNORECASE, PR_SUBJECT_A, &needle};
    EXPECT_EQ(restricted(content), (Subjects{"agenda", "Agenda"}));
    content.res.resContent.ulFuzzyLevel = FL_SUBSTRING; // case matters now
    EXPECT_EQ(restricted(content), Subjects{});
    needle.Value.lpszA = const_cast<LPSTR>("Ag");
    content.res.resContent.ulFuzzyLevel = FL_PREFIX;
    EXPECT_EQ(restricted(content), (Subjects{"Agenda"}));
    needle.Value.lpszA = const_cast<LPSTR>("lunch");
    content.res.resContent.ulFuzzyLevel = FL_FULLSTRING;
    EXPECT_EQ(restricted(content), (Subjects{"lunch"}));

    SPropValue imp{};
    imp.ulPropTag = PR_IMPORTANCE;
    imp.Value.l = 2;
    SRestriction any[2] = {content, prop(RELOP_EQ, imp)};
    SRestriction orr{};
    orr.rt = RES_OR;
    orr.res.resOr = {2, any};
    EXPECT_EQ(restricted(orr), (Subjects{"agenda", "lunch"}));
    SRestriction nott{};
    nott.rt = RES_NOT;
    nott.res.resNot.lpRes = &orr;
    EXPECT_EQ(restricted(nott), (Subjects{"Budget", "Zebra crossing", "Agenda"}));
    SRestriction empty_and{};
    empty_and.rt = RES_AND;
    EXPECT_EQ(restricted(empty_and).size(), 5u);

    // Malformed ones are refused, not followed.
    SRestriction broken{};
    broken.rt = RES_PROPERTY;
    broken.res.resProperty = {RELOP_EQ, PR_SUBJECT_A, nullptr};
    EXPECT_EQ(table->Restrict(&broken, 0), MAPI_E_INVALID_PARAMETER);
    broken.rt = RES_OR;
    broken.res.resOr = {3, nullptr};
    EXPECT_EQ(table->Restrict(&broken, 0), MAPI_E_INVALID_PARAMETER);
    broken.rt = 77;
    EXPECT_EQ(table->Restrict(&broken, 0), MAPI_E_TOO_COMPLEX);
    // A restriction nested too deep to evaluate safely.
    std::vector<SRestriction> chain(200);
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i].rt = RES_NOT;
        chain[i].res.resNot.lpRes = &chain[i + 1];
    }
    chain.back() = empty_and;
    EXPECT_EQ(table->Restrict(chain.data(), 0), MAPI_E_TOO_COMPLEX);
}

TEST_F(Tables, SortsOnSeveralKeysStableAndCaseBlind)
{
    SizedSSortOrderSet(2, order) = {
        2,
        0,
        0,
        {{PR_SENDER_NAME_A, TABLE_SORT_ASCEND}, {PR_MESSAGE_DELIVERY_TIME, TABLE_SORT_DESCEND}}};
    ASSERT_EQ(table->SortTable(reinterpret_cast<LPSSortOrderSet>(&order), 0), S_OK);
    // alice/Alice, then Bob/bob (newest first within a sender), then carol.
    EXPECT_EQ(subjects(), (Subjects{"Zebra crossing", "lunch", "Agenda", "agenda", "Budget"}));

    // Equal keys keep the folder's order.
    SizedSSortOrderSet(1, by_subject) = {1, 0, 0, {{PR_SUBJECT_A, TABLE_SORT_DESCEND}}};
    ASSERT_EQ(table->SortTable(reinterpret_cast<LPSSortOrderSet>(&by_subject), 0), S_OK);
    EXPECT_EQ(subjects(), (Subjects{"Zebra crossing", "lunch", "Budget", "agenda", "Agenda"}));

    SizedSSortOrderSet(1, categories) = {1, 1, 0, {{PR_SUBJECT_A, TABLE_SORT_ASCEND}}};
    EXPECT_EQ(table->SortTable(reinterpret_cast<LPSSortOrderSet>(&categories), 0),
              MAPI_E_TOO_COMPLEX);
    EXPECT_EQ(table->SortTable(nullptr, 0), MAPI_E_INVALID_PARAMETER);
}

TEST_F(Tables, CursorSeeksAndBackwardReads)
{
    LONG sought = 0;
    ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 2, &sought), S_OK);
    EXPECT_EQ(sought, 2);
    EXPECT_EQ(subjects(1), (Subjects{"Zebra crossing"}));
    ASSERT_EQ(table->SeekRow(BOOKMARK_CURRENT, -10, &sought), S_OK);
    EXPECT_EQ(sought, -3); // stopped at the start
    ASSERT_EQ(table->SeekRow(BOOKMARK_END, -1, &sought), S_OK);
    EXPECT_EQ(sought, -1);
    EXPECT_EQ(subjects(), (Subjects{"lunch"}));
    ASSERT_EQ(table->SeekRow(BOOKMARK_END, 5, &sought), S_OK);
    EXPECT_EQ(sought, 0);

    // Negative counts read the rows before the cursor, in table order.
    EXPECT_EQ(subjects(-2), (Subjects{"Agenda", "lunch"}));
    EXPECT_EQ(subjects(-10), (Subjects{"Budget", "agenda", "Zebra crossing"}));
    EXPECT_EQ(subjects(-1), Subjects{});

    Rows rows;
    ASSERT_EQ(table->QueryRows(2, TBL_NOADVANCE, rows.out()), S_OK);
    EXPECT_EQ(subjects(1), (Subjects{"Budget"}));
    EXPECT_EQ(table->QueryRows(0, 0, rows.out()), MAPI_E_INVALID_PARAMETER);

    BOOKMARK mark = 0;
    ASSERT_EQ(table->CreateBookmark(&mark), S_OK);
    subjects(3);
    ASSERT_EQ(table->SeekRow(mark, 0, &sought), S_OK);
    EXPECT_EQ(subjects(1), (Subjects{"agenda"}));
    ASSERT_EQ(table->FreeBookmark(mark), S_OK);
    EXPECT_EQ(table->SeekRow(mark, 0, nullptr), MAPI_E_INVALID_BOOKMARK);
}

TEST_F(Tables, RowCapLimitsEachQueryButNotHrQueryAllRows)
{
    mapisim_set_queryrows_cap(2);
    EXPECT_EQ(subjects(100).size(), 2u);
    EXPECT_EQ(subjects(100).size(), 2u);
    EXPECT_EQ(subjects(100).size(), 1u);
    EXPECT_EQ(subjects(100).size(), 0u);
    Rows rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.out()), S_OK);
    EXPECT_EQ(rows.size(), 5u);
    EXPECT_GE(mapisim_call_count_of("IMAPITable::QueryRows"), 4u + 4u);
}

TEST_F(Tables, TablesSeeTheFolderAsItIsNow)
{
    EXPECT_EQ(subjects(2).size(), 2u); // cursor on "Zebra crossing"
    // A message saved after the table was opened shows; one being composed does not.
    Com<IMessage> fresh;
    ASSERT_EQ(inbox->CreateMessage(nullptr, 0, fresh.out()), S_OK);
    SPropValue subj{};
    subj.ulPropTag = PR_SUBJECT_A;
    subj.Value.lpszA = const_cast<LPSTR>("new one");
    ASSERT_EQ(fresh->SetProps(1, &subj, nullptr), S_OK);
    ULONG count = 0;
    ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 5u);
    ASSERT_EQ(fresh->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 6u);
    // Deleting rows before the cursor keeps it on the same row.
    box.pst->detach_message(*box.mail[0]);
    EXPECT_EQ(subjects(), (Subjects{"Zebra crossing", "Agenda", "lunch", "new one"}));

    // The associated table holds only the hidden message.
    Com<IMAPITable> assoc;
    ASSERT_EQ(inbox->GetContentsTable(MAPI_ASSOCIATED, assoc.out()), S_OK);
    ASSERT_EQ(assoc->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 1u);

    // A table of a folder deleted under it fails instead of showing stale rows.
    box.pst->detach_folder(*box.inbox);
    EXPECT_EQ(table->GetRowCount(0, &count), MAPI_E_OBJECT_DELETED);
}

// Rows are made afresh after any change, before a row is read: messages
// freed since the last read (no one holds them any more) are never read.
TEST_F(Tables, MessagesFreedBetweenReadsAreNotRead)
{
    for (const char* subject : {"short-lived 1", "short-lived 2"})
        box.pst->add_message(*box.inbox)->props.set(Value::string8(PR_SUBJECT_A, subject));
    Subjects first = subjects();
    ASSERT_EQ(first.size(), 7u);
    EXPECT_EQ(first.back(), "short-lived 2");
    ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);

    // Both go, and with them the last references to them.
    for (int i = 0; i < 2; ++i) {
        const auto last = box.inbox->messages().back();
        ASSERT_TRUE(box.pst->detach_message(*last));
    }
    EXPECT_EQ(subjects(), Subjects(first.begin(), first.end() - 2));

    // The same after the cursor moved past them and back.
    box.pst->add_message(*box.inbox)->props.set(Value::string8(PR_SUBJECT_A, "another"));
    ASSERT_EQ(table->SeekRow(BOOKMARK_END, -1, nullptr), S_OK);
    {
        const auto last = box.inbox->messages().back();
        ASSERT_TRUE(box.pst->detach_message(*last));
    }
    EXPECT_EQ(subjects(), Subjects{});
    ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
    EXPECT_EQ(subjects(), Subjects(first.begin(), first.end() - 2));
}

TEST_F(Tables, HierarchyTableAndInstanceKeys)
{
    Com<IMAPIFolder> top;
    open(entryid_of(*box.pst, *box.top), top, MAPI_FOLDER);
    Com<IMAPITable> h;
    ASSERT_EQ(top->GetHierarchyTable(MAPI_DEFERRED_ERRORS, h.out()), S_OK);
    auto cols = tags({PR_DISPLAY_NAME_A, PR_CONTENT_COUNT, PR_SUBFOLDERS, PR_CONTAINER_CLASS_A,
                      PR_INSTANCE_KEY, PR_DEPTH});
    SSortOrderSet by_name{1, 0, 0, {{PR_DISPLAY_NAME_A, TABLE_SORT_ASCEND}}};
    Rows rows;
    ASSERT_EQ(HrQueryAllRows(h.get(), as_tags(cols), nullptr, &by_name, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(text(rows.at(0, 0)), "Contacts");
    EXPECT_EQ(text(rows.at(3, 0)), "Inbox");
    EXPECT_EQ(rows.at(3, 1).Value.l, 5); // the associated message does not count
    EXPECT_EQ(rows.at(3, 2).Value.b, TRUE);
    EXPECT_EQ(rows.at(0, 2).Value.b, FALSE);
    EXPECT_EQ(rows.at(0, 4).Value.bin.cb, 4u);
    // CONVENIENT_DEPTH lists every level with its depth.
    ASSERT_EQ(top->GetHierarchyTable(1, h.out()), S_OK);
    ASSERT_EQ(HrQueryAllRows(h.get(), as_tags(cols), nullptr, nullptr, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(text(rows.at(1, 0)), "Projects");
    EXPECT_EQ(rows.at(1, 5).Value.l, 2);
}

// Computed columns are made without a value of their own: identifiers in
// either form, keys, flags, and what only a table has.
TEST_F(Tables, ComputedColumnsMatchTheMessages)
{
    auto cols = tags({PR_ENTRYID, PR_SEARCH_KEY, PR_DISPLAY_TO_A, PR_MESSAGE_FLAGS, PR_INSTANCE_KEY,
                      CHANGE_PROP_TYPE(PR_HASATTACH, PT_LONG)});
    ASSERT_EQ(table->SetColumns(as_tags(cols), 0), S_OK);
    Rows rows;
    ASSERT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 1u);
    const Bytes eid = entryid_of(*box.pst, *box.mail[0]);
    const SBinary& id = rows.at(0, 0).Value.bin;
    ASSERT_EQ(id.cb, eid.size());
    EXPECT_EQ(id.lpb[0], MAPI_SHORTTERM);
    EXPECT_EQ(Bytes(id.lpb + 1, id.lpb + id.cb), Bytes(eid.begin() + 1, eid.end()));
    EXPECT_EQ(Bytes(rows.at(0, 1).Value.bin.lpb, rows.at(0, 1).Value.bin.lpb + 8),
              Bytes(eid.begin() + 24, eid.end()));
    EXPECT_EQ(text(rows.at(0, 2)), "Me");
    EXPECT_EQ(static_cast<ULONG>(rows.at(0, 3).Value.l), MSGFLAG_READ | MSGFLAG_HASATTACH);
    EXPECT_EQ(rows.at(0, 4).Value.bin.cb, 4u);
    EXPECT_EQ(rows.at(0, 5).ulPropTag, CHANGE_PROP_TYPE(PR_HASATTACH, PT_ERROR));

    box.world->settings.short_term_ids_in_tables = false;
    ASSERT_EQ(table->QueryRows(1, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 1u);
    const SBinary& next = rows.at(0, 0).Value.bin;
    EXPECT_EQ(Bytes(next.lpb, next.lpb + next.cb), entryid_of(*box.pst, *box.mail[1]));
}
