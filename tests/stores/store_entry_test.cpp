// Entry-identifier operations: opening stores, folders, parents and
// messages, comparing identifiers, long-term forms, deleting one message.
#include <cstring>
#include <string>

#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "support/fault_sweep.h"
#include "support/library_support.h"

namespace {

using namespace testsupport;

constexpr const char* kMailbox = R"({
  "profiles": [{"name": "Outlook", "default": true, "stores": [
    {"name": "Personal Folders", "provider": "Personal Folders", "default": true,
     "folders": [
       {"name": "Inbox", "folders": [{"name": "Projects"}],
        "messages": [{"subject": "One"}, {"subject": "Two"}]}]},
    {"name": "No Tree", "provider": "Personal Folders", "subtree": null}]}]})";

// The entry identifier of the first row of `table` whose `column` text is `name`.
Bytes FindEntryId(IMAPITable* table, ULONG column, const char* name)
{
    SizedSPropTagArray(2, columns) = {2, {tag::EntryId, column}};
    SRowSet* rows = nullptr;
    Bytes found;
    if (FAILED(HrQueryAllRows(table, reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr,
                              0, &rows)))
        return found;
    for (ULONG i = 0; i < rows->cRows && found.empty(); ++i) {
        const SPropValue* props = rows->aRow[i].lpProps;
        if (props[1].ulPropTag == column && std::strcmp(props[1].Value.lpszA, name) == 0)
            found.assign(props[0].Value.bin.lpb, props[0].Value.bin.lpb + props[0].Value.bin.cb);
    }
    FreeProws(rows);
    table->Release();
    return found;
}

class StoreEntryTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Load(kMailbox);
        Start("Outlook");
        store_.store = OpenDefaultStore(&storeId_);
        ASSERT_NE(store_.store, nullptr);

        OrviMapiFolder top = nullptr;
        unsigned char id[256];
        uint32_t size = 0;
        ASSERT_EQ(OrviMapiMsgStoreGetRootFolder(store_.store, &top, &size, id), 0) << LastError();
        topId_.assign(id, id + size);
        IMAPITable* table = nullptr;
        ASSERT_EQ(AsMapi(top)->GetHierarchyTable(0, &table), S_OK);
        inboxId_ = FindEntryId(table, tag::DisplayName, "Inbox");
        OrviMapiFolder inbox = nullptr;
        ASSERT_EQ(OrviMapiMsgStoreGetFolderInterface(store_.store, Size(inboxId_), inboxId_.data(),
                                                     &inbox),
                  0);
        ASSERT_EQ(AsMapi(inbox)->GetContentsTable(0, &table), S_OK);
        messageId_ = FindEntryId(table, tag::Subject, "Two");
        OrviMapiReleaseFolder(inbox);
        OrviMapiReleaseFolder(top);
        ASSERT_FALSE(inboxId_.empty());
        ASSERT_FALSE(messageId_.empty());
    }

    void TearDown() override
    {
        if (store_.store != nullptr) OrviMapiMsgStoreRelease(store_.store);
        store_.store = nullptr;
        LibraryTest::TearDown();
    }

    StoreHandle store_;
    Bytes storeId_, topId_, inboxId_, messageId_;
};

TEST_F(StoreEntryTest, CompareEntryIds)
{
    int32_t same = 7;
    EXPECT_EQ(OrviMapiMsgStoreCompareEntryIds(0, 0, Size(inboxId_), inboxId_.data(), Size(inboxId_),
                                              inboxId_.data(), &same),
              0);
    EXPECT_EQ(same, 1);
    EXPECT_EQ(OrviMapiMsgStoreCompareEntryIds(0, 0, Size(inboxId_), inboxId_.data(), Size(topId_),
                                              topId_.data(), &same),
              0);
    EXPECT_EQ(same, 0);

    same = 7;
    EXPECT_EQ(OrviMapiMsgStoreCompareEntryIds(0, 0, 0, inboxId_.data(), Size(topId_), topId_.data(),
                                              &same),
              MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(same, 0);
    EXPECT_EQ(LastErrorText(), SystemText(E_INVALIDARG, "The parameter is incorrect.\r\n"));
    EXPECT_EQ(OrviMapiMsgStoreCompareEntryIds(0, 0, Size(topId_), topId_.data(), Size(topId_),
                                              nullptr, &same),
              MAPI_E_INVALID_PARAMETER);

    OrviMapiStop();
    same = 7;
    EXPECT_EQ(OrviMapiMsgStoreCompareEntryIds(0, 0, Size(topId_), topId_.data(), Size(topId_),
                                              topId_.data(), &same),
              -1);
    EXPECT_EQ(same, 0) << "set before the session check";
}

TEST_F(StoreEntryTest, LongTermEntryIds)
{
    // A long-term identifier (flags byte 0, as GetProps gives) is copied
    // without asking MAPI.
    unsigned char buffer[256];
    uint32_t size = 0;
    mapisim_call_log_clear();
    ASSERT_EQ(topId_[0], 0);
    EXPECT_EQ(OrviMapiMsgStoreReadLongTermEntryId(Size(topId_), topId_.data(), &size, buffer), 0);
    EXPECT_EQ(Bytes(buffer, buffer + size), topId_);
    EXPECT_EQ(mapisim_call_count(), 0u);

    // Tables hand out short-term identifiers; the long-term form names the
    // same folder.
    ASSERT_NE(inboxId_[0], 0);
    EXPECT_EQ(OrviMapiMsgStoreReadLongTermEntryId(Size(inboxId_), inboxId_.data(), &size, buffer),
              0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(CallFlags("IMAPISession::OpenEntry"), MAPI_DEFERRED_ERRORS);
    int32_t same = 0;
    EXPECT_EQ(OrviMapiMsgStoreCompareEntryIds(0, 0, Size(inboxId_), inboxId_.data(),
                                              static_cast<int32_t>(size), buffer, &same),
              0);
    EXPECT_EQ(same, 1);

    size = 99;
    EXPECT_EQ(OrviMapiMsgStoreReadLongTermEntryId(-1, inboxId_.data(), &size, buffer), -1);
    EXPECT_EQ(size, 99u);
    EXPECT_EQ(LastErrorCode(), "Facility WIN32, Error Num 87");
}

TEST_F(StoreEntryTest, OpenFoldersParentsAndMessages)
{
    OrviMapiFolder folder = nullptr;
    EXPECT_EQ(OrviMapiMsgStoreGetFolderInterface(store_.store, Size(messageId_), messageId_.data(),
                                                 &folder),
              -1);
    EXPECT_EQ(LastErrorText(), "Not Folder Object");
    EXPECT_EQ(folder, nullptr);

    OrviMapiMessage message = nullptr;
    EXPECT_EQ(
        OrviMapiMsgStoreGetMsgInterface(store_.store, Size(inboxId_), inboxId_.data(), &message),
        MAPI_E_CALL_FAILED);
    EXPECT_EQ(LastErrorText(), "Not Msg Object");
    EXPECT_EQ(OrviMapiMsgStoreGetMsgInterface(nullptr, Size(inboxId_), inboxId_.data(), &message),
              MAPI_E_CALL_FAILED);
    EXPECT_EQ(LastErrorText(), SystemText(E_FAIL, "Unspecified error\r\n"))
        << "recorded with E_FAIL: the system's text";
    ASSERT_EQ(OrviMapiMsgStoreGetMsgInterface(store_.store, Size(messageId_), messageId_.data(),
                                              &message),
              0);
    OrviMapiReleaseMsg(message);

    ASSERT_EQ(OrviMapiMsgStoreGetFolderParentInterface(store_.store, Size(inboxId_),
                                                       inboxId_.data(), &folder),
              0);
    OrviMapiReleaseFolder(folder);
    EXPECT_EQ(OrviMapiMsgStoreGetFolderParentInterface(store_.store, 0, inboxId_.data(), &folder),
              -1);
    EXPECT_EQ(LastErrorText(), "EID not defined");

    const Bytes unknown = {0, 0, 0, 0, 1, 2, 3};
    EXPECT_EQ(
        OrviMapiMsgStoreGetFolderInterface(store_.store, Size(unknown), unknown.data(), &folder),
        -1);
    EXPECT_NE(LastErrorCode(), "none");
}

TEST_F(StoreEntryTest, DisplayNameSubtreeAndRootFolder)
{
    char name[32];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(OrviMapiMsgStoreGetDisplayName(store_.store, 1, name), 0);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(OrviMapiMsgStoreGetDisplayName(store_.store, sizeof name, name), 16);
    EXPECT_STREQ(name, "Personal Folders");
    EXPECT_EQ(OrviMapiMsgStoreGetDisplayName(nullptr, sizeof name, name), -1);
    EXPECT_EQ(LastErrorText(), "MsgStore not defined");

    unsigned char id[256];
    uint32_t size = 0;
    ASSERT_EQ(OrviMapiMsgStoreGetIPMSubtreeEID(store_.store, &size, id), 0);
    EXPECT_EQ(Bytes(id, id + size), topId_);

    // A store without an IPM subtree has no root folder to open.
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQuerySet(&table, 1), 0);
    OrviMapiRowSet rows = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQueryGetRow(table, &rows), 1); // "No Tree" sorts first
    StoreHandle bare;
    ASSERT_EQ(OrviMapiMsgStoreResultOpenStore(rows, &bare.store), 0);
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    OrviMapiFolder folder = nullptr;
    size = 77;
    EXPECT_EQ(OrviMapiMsgStoreGetRootFolder(bare.store, &folder, &size, id), -1);
    EXPECT_EQ(folder, nullptr);
    EXPECT_EQ(size, 77u);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 271");
    EXPECT_EQ(OrviMapiMsgStoreGetIPMSubtreeEID(bare.store, &size, id), -1);
}

TEST_F(StoreEntryTest, DeleteOneMessageAndReleaseTheStore)
{
    OrviMapiMessage message = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreGetMsgInterface(store_.store, Size(messageId_), messageId_.data(),
                                              &message),
              0);
    EXPECT_EQ(OrviMapiMsgStoreMsgDelete(store_.store, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "pMessage param not defined");
    ASSERT_EQ(OrviMapiMsgStoreMsgDelete(store_.store, message), 0) << LastError();
    EXPECT_EQ(CallArg("IMAPIFolder::DeleteMessages", "count"), "1");
    OrviMapiReleaseMsg(message);
    EXPECT_NE(OrviMapiMsgStoreGetMsgInterface(store_.store, Size(messageId_), messageId_.data(),
                                              &message),
              0);

    OrviMapiMsgStoreRelease(nullptr);
    EXPECT_EQ(LastErrorText(), "Msg Store not defined");

    OrviMapiStore byId = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreGetMsgStoreInterface(Size(storeId_), storeId_.data(), &byId), 0);
    OrviMapiMsgStoreRelease(byId);
    const Bytes bogus = {0, 0, 0, 0, 9, 9};
    EXPECT_LT(OrviMapiMsgStoreGetMsgStoreInterface(Size(bogus), bogus.data(), &byId), -1)
        << "the HRESULT itself";
    EXPECT_EQ(OrviMapiMsgStoreGetMsgStoreInterface(0, bogus.data(), &byId), -1);
    EXPECT_EQ(LastErrorText(), "MsgStore EID not defined");
}

// MAPI_E_NOT_FOUND as the last error shows it.
constexpr const char* kNotFoundCode = "Facility ITF, Error Num 271";

FaultSweep Sweep(const char* name)
{
    return FaultSweep(name).Fault(MAPI_E_NOT_FOUND).LastErrorCode(kNotFoundCode);
}

TEST_F(StoreEntryTest, EveryFailingMapiCallIsRecordedAndLeaksNothing)
{
    SweepFaults(Sweep("GetFolderParentInterface"), [&] {
        OrviMapiFolder folder = nullptr;
        const int32_t result = OrviMapiMsgStoreGetFolderParentInterface(
            store_.store, Size(inboxId_), inboxId_.data(), &folder);
        OrviMapiReleaseFolder(folder);
        return result;
    });
    SweepFaults(Sweep("GetRootFolder"), [&] {
        OrviMapiFolder folder = nullptr;
        unsigned char id[256];
        uint32_t size = 0;
        const int32_t result = OrviMapiMsgStoreGetRootFolder(store_.store, &folder, &size, id);
        OrviMapiReleaseFolder(folder);
        return result;
    });
    SweepFaults(Sweep("ReadLongTermEntryId"), [&] {
        unsigned char id[256];
        uint32_t size = 0;
        return OrviMapiMsgStoreReadLongTermEntryId(Size(inboxId_), inboxId_.data(), &size, id);
    });
    SweepFaults(Sweep("QuerySet and OpenStore"), [&] {
        OrviMapiTable table = nullptr;
        OrviMapiRowSet rows = nullptr;
        OrviMapiStore store = nullptr;
        int32_t result = OrviMapiMsgStoreQuerySet(&table, 0);
        if (result == 0) result = OrviMapiMsgStoreQueryGetRow(table, &rows) == 1 ? 0 : -1;
        if (result == 0) result = OrviMapiMsgStoreResultOpenStore(rows, &store);
        if (store != nullptr) OrviMapiMsgStoreRelease(store);
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(table);
        return result;
    });
    SweepFaults(Sweep("MsgDelete"), [&] {
        OrviMapiMessage message = nullptr;
        int32_t result = OrviMapiMsgStoreGetMsgInterface(store_.store, Size(messageId_),
                                                         messageId_.data(), &message);
        if (result == 0) result = OrviMapiMsgStoreMsgDelete(store_.store, message);
        OrviMapiReleaseMsg(message);
        return result;
    });
}

} // namespace
