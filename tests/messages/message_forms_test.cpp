// Opening messages in the client's form: what ShowForm is given, the user
// cancelling, identifiers that name no message, and nothing kept after.
#include "messages/message_ops_support.h"
#include "support/fault_sweep.h"

namespace {

using namespace msgops;

class MessageFormsTest : public MessageOpsTest {
protected:
    int32_t Edit(const Bytes& id, uintptr_t hwnd = 0x1234)
    {
        return OrviMapiMsgEdit(hwnd, Size(storeId), storeId.data(), Size(id), id.data());
    }
    // Positions 0 (access), 13 (flags) and 16 (status) of the message's
    // property array, as ShowForm is to be given them.
    std::string FormValues(const Bytes& id)
    {
        OrviMapiMessage message = nullptr;
        OrviMapiProps props = nullptr;
        EXPECT_EQ(OrviMapiMsgStoreGetMsgInterface(store, Size(id), id.data(), &message), 0);
        EXPECT_EQ(OrviMapiMsgPropsGet(message, &props), 0);
        const SPropValue* values = reinterpret_cast<const SPropValue*>(props);
        const std::string text = std::to_string(values[16].Value.l) + "/" +
                                 std::to_string(values[13].Value.l) + "/" +
                                 std::to_string(values[0].Value.l);
        OrviMapiMsgPropsRelease(message, props);
        OrviMapiReleaseMsg(message);
        return text;
    }
    std::string Shown()
    {
        mapisim_form form{};
        if (mapisim_last_form(&form) != 0) return "(no form)";
        return std::to_string(form.status) + "/" + std::to_string(form.message_flags) + "/" +
               std::to_string(form.access);
    }
    mapisim_form LastForm()
    {
        mapisim_form form{};
        EXPECT_EQ(mapisim_last_form(&form), 0) << "no form shown";
        return form;
    }
};

TEST_F(MessageFormsTest, EditShowsTheMessageWithItsOwnValues)
{
    const Bytes two = MessageId("Inbox", "Two");
    const std::string expected = FormValues(two);
    mapisim_call_log_clear();
    ASSERT_EQ(Edit(two), 0) << LastError();
    const mapisim_form form = LastForm();
    EXPECT_EQ(form.flags, static_cast<uint32_t>(MAPI_POST_MESSAGE));
    EXPECT_STREQ(form.message_class, "IPM.Note.Custom");
    EXPECT_STREQ(form.subject, "Two");
    EXPECT_STREQ(form.store, "Mail");
    EXPECT_STREQ(form.folder, "Inbox"); // the message's parent
    EXPECT_EQ(form.window, 0x1234u);
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(expected.substr(0, 2), "4/"); // the message's PR_MSG_STATUS
    EXPECT_LT(mapisim_call_find("IMAPISession::PrepareForm", 0),
              mapisim_call_find("IMAPISession::ShowForm", 0));

    // Cancelling is no failure; another result of the form is.
    mapisim_script_show_form(MAPI_E_USER_CANCEL);
    EXPECT_EQ(Edit(two), 0);
    mapisim_script_show_form(MAPI_E_NO_SUPPORT);
    EXPECT_EQ(Edit(two), MAPI_E_NO_SUPPORT);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 258");
}

TEST_F(MessageFormsTest, EditNewShowsABlankNoteInTheFolder)
{
    OrviMapiFolder archive = OpenFolder("Archive");
    mapisim_call_log_clear();
    ASSERT_EQ(OrviMapiMsgEditNew(7, store, archive), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPISession::ShowForm"),
              static_cast<uint32_t>(MAPI_POST_MESSAGE | MAPI_NEW_MESSAGE));
    EXPECT_EQ(CallArg("IMAPISession::ShowForm", "class"), "IPM.Note");
    EXPECT_EQ(CallArg("IMAPISession::ShowForm", "message_flags"),
              std::to_string(MSGFLAG_UNSENT | MSGFLAG_READ));
    EXPECT_EQ(CallFlags("IMAPIFolder::CreateMessage"), 0u);
    // The form, not the library, saves the new message.
    EXPECT_TRUE(Subjects("Archive").empty());

    mapisim_script_show_form(MAPI_E_USER_CANCEL);
    EXPECT_EQ(OrviMapiMsgEditNew(7, store, archive), 0);
    mapisim_script_show_form(MAPI_E_NO_SUPPORT);
    EXPECT_EQ(OrviMapiMsgEditNew(7, store, archive), -1);

    EXPECT_EQ(OrviMapiMsgEditNew(7, nullptr, archive), -1);
    EXPECT_EQ(LastErrorText(), "pMsgStore param not defined");
    EXPECT_EQ(OrviMapiMsgEditNew(7, store, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "pFolder param not defined");
    OrviMapiReleaseFolder(archive);
}

TEST_F(MessageFormsTest, NoFormForWhatIsNoMessage)
{
    mapisim_call_log_clear();
    EXPECT_EQ(OrviMapiMsgEdit(0, Size(storeId), storeId.data(), 0, storeId.data()), E_INVALIDARG);
    EXPECT_EQ(OrviMapiMsgEdit(0, 0, storeId.data(), Size(storeId), storeId.data()), E_INVALIDARG);
    EXPECT_EQ(mapisim_call_count(), 0u);

    // A folder's identifier: the message look-up's result.
    EXPECT_EQ(Edit(FolderId("Archive")), E_FAIL);
    EXPECT_EQ(mapisim_call_count_of("IMAPISession::PrepareForm"), 0u);
    EXPECT_EQ(mapisim_last_form(nullptr), -1);

    // A store that does not open leaves no store to find the message in.
    mapisim_fail_method("IMAPISession::OpenMsgStore", 1, 0, MAPI_E_DISK_ERROR);
    EXPECT_EQ(Edit(MessageId("Inbox", "One")), E_FAIL);
}

TEST_F(MessageFormsTest, EveryFailingCallIsReportedAndNothingIsHeld)
{
    const Bytes one = MessageId("Inbox", "One");
    // Without a store the message look-up fails with E_FAIL.
    SweepFaults(FaultSweep("Edit")
                    .Fault(MAPI_E_DISK_ERROR)
                    .Steps({{"IMAPISession::OpenMsgStore", E_FAIL},
                            {"IMsgStore::OpenEntry", MAPI_E_DISK_ERROR},
                            {"IMessage::GetProps", MAPI_E_DISK_ERROR},
                            {"IMsgStore::OpenEntry", MAPI_E_DISK_ERROR},
                            {"IMAPISession::PrepareForm", MAPI_E_DISK_ERROR},
                            {"IMAPISession::ShowForm", MAPI_E_DISK_ERROR}}),
                [&] { return Edit(one); });
    OrviMapiFolder archive = OpenFolder("Archive");
    SweepFaults(FaultSweep("EditNew")
                    .Fault(MAPI_E_DISK_ERROR)
                    .LastErrorCode("Facility ITF, Error Num 278")
                    .Steps({{"IMAPIFolder::CreateMessage", -1},
                            {"IMessage::GetProps", -1},
                            {"IMAPISession::PrepareForm", -1},
                            {"IMAPISession::ShowForm", -1}}),
                [&] { return OrviMapiMsgEditNew(0, store, archive); });
    OrviMapiReleaseFolder(archive);
}

} // namespace
