// Folder changes: creating, copying, moving, deleting and emptying folders,
// copying, moving and deleting messages, and renaming.
#include "stand_in.h"

using namespace standin;

namespace {

class Folders : public StandIn {
protected:
    void SetUp() override
    {
        StandIn::SetUp();
        logon();
        open(entryid_of(*box.pst, *box.top), top, MAPI_FOLDER);
        open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
    }

    void TearDown() override
    {
        top.reset();
        inbox.reset();
        StandIn::TearDown();
    }

    HRESULT create(IMAPIFolder* parent, const char* name, ULONG flags = 0)
    {
        Com<IMAPIFolder> made;
        return parent->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>(name), nullptr, nullptr,
                                    flags, made.out());
    }

    HRESULT copy(IMAPIFolder* parent, const Folder& what, IMAPIFolder* dest, const char* name,
                 ULONG flags)
    {
        Bytes eid = entryid_of(*box.pst, what);
        return parent->CopyFolder(static_cast<ULONG>(eid.size()),
                                  reinterpret_cast<LPENTRYID>(eid.data()), nullptr, dest,
                                  const_cast<LPSTR>(name), 0, nullptr, flags);
    }

    HRESULT remove(IMAPIFolder* parent, const Folder& what, ULONG flags)
    {
        Bytes eid = entryid_of(*box.pst, what);
        return parent->DeleteFolder(static_cast<ULONG>(eid.size()),
                                    reinterpret_cast<LPENTRYID>(eid.data()), 0, nullptr, flags);
    }

    std::vector<std::string> names(const Folder& f)
    {
        std::vector<std::string> out;
        for (auto& sub : f.subfolders()) out.push_back(sub->display_name());
        return out;
    }

    Com<IMAPIFolder> top, inbox;
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(Folders, CreateFolderCollidesWithoutRegardToCase)
{
    EXPECT_EQ(create(top.get(), "inBOX"), MAPI_E_COLLISION);
    EXPECT_EQ(create(top.get(), "Inbox2"), S_OK);
    EXPECT_EQ(create(top.get(), "inbox2", OPEN_IF_EXISTS), S_OK); // opens the existing one
    EXPECT_EQ(create(top.get(), ""), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(create(top.get(), nullptr), MAPI_E_INVALID_PARAMETER);
    Com<IMAPIFolder> made;
    EXPECT_EQ(
        top->CreateFolder(FOLDER_SEARCH, const_cast<LPSTR>("S"), nullptr, nullptr, 0, made.out()),
        MAPI_E_NO_SUPPORT);
    // Names given as 16-bit text with MAPI_UNICODE.
    ASSERT_EQ(top->CreateFolder(FOLDER_GENERIC,
                                reinterpret_cast<LPSTR>(const_cast<char16_t*>(u"Caf\u00e9")),
                                nullptr, nullptr, MAPI_UNICODE, made.out()),
              S_OK);
    EXPECT_EQ(box.top->subfolders().back()->display_name(), "Caf\xe9");
    const int32_t at = mapisim_call_find("IMAPIFolder::CreateFolder", 0);
    ASSERT_GE(at, 0);
    char name[64];
    ASSERT_GT(mapisim_call_arg(static_cast<uint32_t>(at), "name", name, sizeof name), 0);
    EXPECT_STREQ(name, "inBOX");
}

TEST_F(Folders, CopyFolderWithAndWithoutSubfolders)
{
    // Inbox holds Projects and five messages plus a hidden one.
    ASSERT_EQ(copy(top.get(), *box.inbox, top.get(), "Inbox copy", 0), S_OK);
    auto shallow = box.top->find_subfolder("Inbox copy");
    ASSERT_TRUE(shallow);
    EXPECT_TRUE(shallow->subfolders().empty());
    EXPECT_EQ(shallow->messages().size(), 6u);
    EXPECT_NE(shallow->messages()[0]->number(), box.mail[0]->number());

    ASSERT_EQ(copy(top.get(), *box.inbox, top.get(), "Deep", COPY_SUBFOLDERS), S_OK);
    EXPECT_EQ(names(*box.top->find_subfolder("deep")), (Names{"Projects"}));
    // The copy is a folder of the store: it opens by its identifier.
    Com<IMAPIFolder> deep;
    open(entryid_of(*box.pst, *box.top->find_subfolder("Deep")->subfolders()[0]), deep,
         MAPI_FOLDER);

    EXPECT_EQ(copy(top.get(), *box.inbox, top.get(), "DRAFTS", 0), MAPI_E_COLLISION);
    EXPECT_EQ(copy(top.get(), *box.inbox, top.get(), nullptr, 0),
              MAPI_E_COLLISION); // keeps "Inbox"
    // The source must be a subfolder of the folder called.
    EXPECT_EQ(copy(inbox.get(), *box.drafts, top.get(), "X", 0), MAPI_E_NOT_FOUND);
}

TEST_F(Folders, MoveFolderKeepsIdentityAndRefusesCycles)
{
    const auto number = box.drafts->number();
    ASSERT_EQ(copy(top.get(), *box.drafts, inbox.get(), "Old drafts", FOLDER_MOVE), S_OK);
    EXPECT_EQ(box.top->find_subfolder("Drafts"), nullptr);
    EXPECT_EQ(box.inbox->find_subfolder("old drafts"), box.drafts);
    EXPECT_EQ(box.drafts->number(), number);
    // Moving within the same parent under another name is a rename.
    ASSERT_EQ(copy(inbox.get(), *box.drafts, inbox.get(), "Renamed", FOLDER_MOVE), S_OK);
    EXPECT_EQ(box.drafts->display_name(), "Renamed");
    ASSERT_EQ(copy(inbox.get(), *box.drafts, inbox.get(), "RENAMED", FOLDER_MOVE), S_OK);

    Com<IMAPIFolder> projects;
    open(entryid_of(*box.pst, *box.sub), projects, MAPI_FOLDER);
    EXPECT_EQ(copy(top.get(), *box.inbox, projects.get(), nullptr, FOLDER_MOVE),
              MAPI_E_FOLDER_CYCLE);
    EXPECT_EQ(copy(top.get(), *box.inbox, inbox.get(), "Self", COPY_SUBFOLDERS),
              MAPI_E_FOLDER_CYCLE);
    EXPECT_EQ(box.inbox->parent(), box.top);
}

TEST_F(Folders, CopyFolderAcrossStoresTakesNamedPropertiesAlong)
{
    Com<IMsgStore> archive;
    open_store(archive, *box.archive);
    Com<IMAPIFolder> old;
    ULONG type = 0;
    Bytes eid = mapisim::mapi::encode(
        {mapisim::mapi::Kind::Folder, box.archive->number(), box.archive->ipm_subtree, false});
    ASSERT_EQ(
        archive->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(eid.data()),
                           nullptr, MAPI_BEST_ACCESS, &type, old.unk()),
        S_OK);
    ASSERT_EQ(copy(top.get(), *box.inbox, old.get(), nullptr, 0), S_OK);
    auto copied = box.archive->find_folder(box.archive->ipm_subtree)->find_subfolder("Inbox");
    ASSERT_TRUE(copied);
    const Message& first = *copied->messages()[0];
    const ULONG flag_tag =
        box.archive->named_tag(NamedId::by_lid(PSETID_Common, 0x8530), PT_STRING8);
    EXPECT_EQ(PROP_ID(flag_tag), 0x8001u); // "Other" took 0x8000 in the archive
    EXPECT_EQ(first.props.text(flag_tag).value_or(""), "Follow up");
}

TEST_F(Folders, DeleteFolderNeedsFlagsForContents)
{
    EXPECT_EQ(remove(top.get(), *box.contacts, 0), S_OK); // empty: no flags needed
    EXPECT_EQ(remove(inbox.get(), *box.sub, 0), S_OK);
    Com<IMAPIFolder> made;
    ASSERT_EQ(top->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("Full"), nullptr, nullptr, 0,
                                made.out()),
              S_OK);
    auto full = box.top->find_subfolder("Full");
    box.pst->add_message(*full);
    box.pst->add_folder(*full, "Child");
    EXPECT_EQ(remove(top.get(), *full, DEL_FOLDERS), MAPI_E_HAS_MESSAGES);
    EXPECT_EQ(remove(top.get(), *full, DEL_MESSAGES), MAPI_E_HAS_FOLDERS);
    EXPECT_EQ(remove(top.get(), *full, DEL_MESSAGES | DEL_FOLDERS), S_OK);
    EXPECT_EQ(box.top->find_subfolder("Full"), nullptr);
    // The open folder object outlives its folder and says so.
    Props p;
    get_props(made.get(), {PR_DISPLAY_NAME_A}, p);
    EXPECT_EQ(p.hr, MAPI_E_OBJECT_DELETED);
    EXPECT_EQ(remove(top.get(), *full, DEL_MESSAGES | DEL_FOLDERS), MAPI_E_NOT_FOUND);
    // Special folders stay.
    EXPECT_EQ(remove(top.get(), *box.deleted, DEL_MESSAGES | DEL_FOLDERS), MAPI_E_NO_ACCESS);
    // Garbage for an identifier is refused.
    BYTE junk[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(top->DeleteFolder(sizeof junk, reinterpret_cast<LPENTRYID>(junk), 0, nullptr, 0),
              MAPI_E_INVALID_ENTRYID);
}

TEST_F(Folders, EmptyFolderKeepsAssociatedMessagesUnlessAsked)
{
    ASSERT_EQ(inbox->EmptyFolder(0, nullptr, FOLDER_DIALOG), S_OK);
    ASSERT_EQ(box.inbox->messages().size(), 1u);
    EXPECT_TRUE(box.inbox->messages()[0]->associated);
    EXPECT_TRUE(box.inbox->subfolders().empty());
    ASSERT_EQ(inbox->EmptyFolder(0, nullptr, DEL_ASSOCIATED), S_OK);
    EXPECT_TRUE(box.inbox->messages().empty());
}

TEST_F(Folders, CopyMoveAndDeleteMessages)
{
    Com<IMAPIFolder> drafts;
    open(entryid_of(*box.pst, *box.drafts), drafts, MAPI_FOLDER);
    std::vector<Bytes> ids = {entryid_of(*box.pst, *box.mail[1]),
                              entryid_of(*box.pst, *box.mail[2])};
    SBinary bins[2];
    for (int i = 0; i < 2; ++i) bins[i] = {static_cast<ULONG>(ids[i].size()), ids[i].data()};
    ENTRYLIST list{2, bins};

    ASSERT_EQ(inbox->CopyMessages(&list, nullptr, drafts.get(), 0, nullptr, MESSAGE_DIALOG), S_OK);
    EXPECT_EQ(box.drafts->messages().size(), 2u);
    EXPECT_EQ(box.inbox->messages().size(), 6u);

    ASSERT_EQ(inbox->CopyMessages(&list, nullptr, drafts.get(), 0, nullptr, MESSAGE_MOVE), S_OK);
    EXPECT_EQ(box.drafts->messages().size(), 4u);
    EXPECT_EQ(box.inbox->messages().size(), 4u);
    EXPECT_EQ(box.mail[1]->parent(), box.drafts); // moved, same identity
    Com<IMessage> moved;
    open(ids[0], moved, MAPI_MESSAGE); // its identifier still opens it

    // Not in the source folder any more: partial completion.
    EXPECT_EQ(inbox->DeleteMessages(&list, 0, nullptr, 0), MAPI_W_PARTIAL_COMPLETION);
    ASSERT_EQ(drafts->DeleteMessages(&list, 0, nullptr, 0), S_OK);
    EXPECT_EQ(box.drafts->messages().size(), 2u);
    Props p;
    get_props(moved.get(), {PR_SUBJECT_A}, p);
    EXPECT_EQ(p.hr, MAPI_E_OBJECT_DELETED);
    EXPECT_EQ(inbox->CopyMessages(nullptr, nullptr, drafts.get(), 0, nullptr, 0),
              MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(inbox->CopyMessages(&list, nullptr, session.get(), 0, nullptr, 0),
              MAPI_E_INVALID_PARAMETER);
}

TEST_F(Folders, RenameThroughSetPropsCollides)
{
    Com<IMAPIFolder> drafts;
    open(entryid_of(*box.pst, *box.drafts), drafts, MAPI_FOLDER);
    SPropValue name{};
    name.ulPropTag = PR_DISPLAY_NAME_A;
    name.Value.lpszA = const_cast<LPSTR>("OUTBOX");
    EXPECT_EQ(drafts->SetProps(1, &name, nullptr), MAPI_E_COLLISION);
    name.Value.lpszA = const_cast<LPSTR>("Entw\xfcrfe");
    ASSERT_EQ(drafts->SetProps(1, &name, nullptr), S_OK);
    ASSERT_EQ(drafts->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    EXPECT_EQ(box.drafts->display_name(), "Entw\xfcrfe");
    // Computed properties cannot be set; the problem array says which.
    SPropValue count{};
    count.ulPropTag = PR_CONTENT_COUNT;
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(drafts->SetProps(1, &count, &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    EXPECT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_COMPUTED);
    MAPIFreeBuffer(problems);
}

TEST_F(Folders, FolderPropertiesAreComputed)
{
    Props p;
    get_props(inbox.get(),
              {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_CONTENT_COUNT, PR_SUBFOLDERS, PR_CONTAINER_CLASS_A,
               PR_PARENT_ENTRYID, PR_FOLDER_TYPE, PR_CONTENT_UNREAD, PR_COMMENT_A},
              p);
    ASSERT_EQ(p.hr, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(Bytes(p[0].Value.bin.lpb, p[0].Value.bin.lpb + p[0].Value.bin.cb),
              entryid_of(*box.pst, *box.inbox));
    EXPECT_EQ(p[2].Value.l, 5);
    EXPECT_EQ(p[3].Value.b, TRUE);
    EXPECT_EQ(text(p[4]), "IPF.Note");
    EXPECT_EQ(Bytes(p[5].Value.bin.lpb, p[5].Value.bin.lpb + p[5].Value.bin.cb),
              entryid_of(*box.pst, *box.top));
    EXPECT_EQ(p[6].Value.l, static_cast<LONG>(FOLDER_GENERIC));
    EXPECT_EQ(p[7].Value.l, 2);
    EXPECT_EQ(p[8].ulPropTag, CHANGE_PROP_TYPE(PR_COMMENT_A, PT_ERROR));
    EXPECT_EQ(p[8].Value.err, MAPI_E_NOT_FOUND);
}

// The counts are kept between changes of the model; each kind of change
// must show at the next read.
TEST_F(Folders, CountsFollowEveryChange)
{
    auto counts = [&] {
        Props p;
        get_props(inbox.get(), {PR_CONTENT_COUNT, PR_CONTENT_UNREAD, PR_ASSOC_CONTENT_COUNT}, p);
        return std::vector<LONG>{p[0].Value.l, p[1].Value.l, p[2].Value.l};
    };
    EXPECT_EQ(counts(), (std::vector<LONG>{5, 2, 1}));
    EXPECT_EQ(counts(), (std::vector<LONG>{5, 2, 1}));
    ASSERT_EQ(inbox->SetReadFlags(nullptr, 0, nullptr, 0), S_OK);
    EXPECT_EQ(counts(), (std::vector<LONG>{5, 0, 1}));
    box.mail[2]->props.set(Value::i4(PR_MESSAGE_FLAGS, 0));
    EXPECT_EQ(counts(), (std::vector<LONG>{5, 1, 1}));
    Com<IMessage> hidden;
    ASSERT_EQ(inbox->CreateMessage(nullptr, MAPI_ASSOCIATED, hidden.out()), S_OK);
    EXPECT_EQ(counts(), (std::vector<LONG>{5, 1, 1})); // not saved yet
    ASSERT_EQ(hidden->SaveChanges(0), S_OK);
    EXPECT_EQ(counts(), (std::vector<LONG>{5, 1, 2}));
    Bytes eid = entryid_of(*box.pst, *box.mail[2]);
    SBinary bin{static_cast<ULONG>(eid.size()), eid.data()};
    ENTRYLIST list{1, &bin};
    ASSERT_EQ(inbox->DeleteMessages(&list, 0, nullptr, 0), S_OK);
    EXPECT_EQ(counts(), (std::vector<LONG>{4, 0, 2}));
}
