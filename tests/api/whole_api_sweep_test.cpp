// One fault sweep over the library's surface on the sample mailbox: the
// typical road of an application from start to stop, and each export on its
// own. Every MAPI call (memory-stream operations included) fails in turn,
// once and then persistently, and for the read paths every MAPI allocation
// too; after each run nothing is left alive and the failure is reported.
// The process prints its fault-site totals at the end.
#include <functional>
#include <string>
#include <vector>

#include "frame/platform.h"
#include "support/fault_sweep.h"
#include "support/sentinel.h"

namespace {

using namespace testsupport;

constexpr int32_t kFault = static_cast<int32_t>(0x80040116); // MAPI_E_DISK_ERROR
constexpr const char* kFaultCode = "Facility ITF, Error Num 278";

template <class Handle, void (*Release)(Handle)>
struct Owner {
    Handle handle = nullptr;
    ~Owner()
    {
        if (handle != nullptr) Release(handle);
    }
    Handle* out() { return &handle; }
};
void ReleaseStore(OrviMapiStore store) { OrviMapiMsgStoreRelease(store); }
using Store = Owner<OrviMapiStore, ReleaseStore>;
using Table = Owner<OrviMapiTable, OrviMapiReleaseTable>;
using Rows = Owner<OrviMapiRowSet, OrviMapiReleaseResult>;
using Folder = Owner<OrviMapiFolder, OrviMapiReleaseFolder>;
using Message = Owner<OrviMapiMessage, OrviMapiReleaseMsg>;
using Attach = Owner<OrviMapiAttach, OrviMapiReleaseAttach>;
using Stream = Owner<OrviMapiStream, OrviMapiReleaseStream>;

std::string ReadAll(OrviMapiStream stream)
{
    std::string all, block(4096, '\0');
    ULONG got = 0;
    while (reinterpret_cast<IStream*>(stream)->Read(block.data(), 4096, &got) == S_OK && got > 0)
        all.append(block, 0, got);
    return all;
}

// The typical road of an application, the way the command's tour walks it:
// 0 when every step succeeded, -1 at the first that failed. Everything is
// released on every path by the owners.
int32_t TypicalRoad()
{
    // A start whose address book failed leaves the session open without a
    // use counted: the application stops it all the same.
    struct Session {
        bool started = OrviMapiStart("", 0) == 0;
        ~Session()
        {
            OrviMapiSession open = nullptr;
            OrviMapiReturnSession(&open);
            if (started || open != nullptr) OrviMapiStop();
        }
    } session;
    if (!session.started) return -1;
    Table stores;
    Rows storeRow;
    Store store;
    if (OrviMapiMsgStoreQuerySet(stores.out(), 0) != 0 ||
        OrviMapiMsgStoreQueryGetRow(stores.handle, storeRow.out()) != 1 ||
        OrviMapiMsgStoreResultOpenStore(storeRow.handle, store.out()) != 0)
        return -1;
    Folder top;
    unsigned char topId[256];
    uint32_t cbTop = 0;
    if (OrviMapiMsgStoreGetRootFolder(store.handle, top.out(), &cbTop, topId) != 0) return -1;
    Table hierarchy;
    if (OrviMapiFolderHierQuerySet(top.handle, hierarchy.out()) != 0) return -1;
    std::vector<unsigned char> inboxId;
    for (;;) {
        Rows row;
        const int32_t count = OrviMapiFolderHierQueryGetRow(hierarchy.handle, row.out());
        if (count < 0) return -1;
        if (count == 0) break;
        char name[256];
        if (OrviMapiFolderHierGetDisplayName(row.handle, sizeof name, name) == 5 &&
            std::string(name) == "Inbox") {
            uint32_t cb = 0;
            unsigned char* bytes = nullptr;
            if (OrviMapiFolderHierGetEID(row.handle, &cb, &bytes) != 0) return -1;
            inboxId.assign(bytes, bytes + cb);
        }
    }
    if (inboxId.empty()) return -1;
    Folder inbox;
    if (OrviMapiMsgStoreGetFolderInterface(store.handle, static_cast<int32_t>(inboxId.size()),
                                           inboxId.data(), inbox.out()) != 0)
        return -1;
    Table contents;
    if (OrviMapiFolderContQuerySet(inbox.handle, contents.out()) != 0) return -1;
    std::vector<unsigned char> messageId;
    for (;;) {
        Rows batch;
        const int32_t count = OrviMapiFolderContQueryGetRow(contents.handle, batch.out());
        if (count < 0) return -1;
        if (count == 0) break;
        for (uint32_t i = 0; i < static_cast<uint32_t>(count); ++i) {
            FolderContentsRecord record;
            if (OrviMapiFolderContReadParam(batch.handle, i, &record) != 0) return -1;
            if (messageId.empty() && record.hasAttachments)
                messageId.assign(record.entryId, record.entryId + record.entryIdSize);
        }
    }
    if (messageId.empty()) return -1;
    Message message;
    if (OrviMapiMsgGet(inbox.handle, static_cast<uint32_t>(messageId.size()), messageId.data(),
                       message.out()) != 0)
        return -1;
    OrviMapiProps props = nullptr;
    if (OrviMapiMsgPropsGet(message.handle, &props) != 0) return -1;
    MsgPropsRecord record;
    const int32_t read = OrviMapiMsgPropsRead(message.handle, props, &record);
    OrviMapiMsgPropsRelease(message.handle, props);
    if (read != 0) return -1;
    Stream html;
    if (OrviMapiMsgGetBodyHTMLStream(message.handle, 1252, html.out()) != 0) return -1;
    if (html.handle != nullptr) ReadAll(html.handle);
    Table recipients;
    if (OrviMapiMsgAddrOtherQuerySet(message.handle, recipients.out()) != 0) return -1;
    for (;;) {
        Rows row;
        const int32_t count = OrviMapiMsgAddrOtherGetRow(recipients.handle, row.out());
        if (count < 0) return -1;
        if (count == 0) break;
        MsgAddrRecord address;
        if (OrviMapiMsgAddrOtherGetParam(row.handle, &address) != 0) return -1;
    }
    Table attachments;
    Rows all;
    if (OrviMapiMsgAttachQuerySet(message.handle, attachments.out()) != 0 ||
        OrviMapiMsgAttachGetAllRows(attachments.handle, all.out()) < 1)
        return -1;
    MsgAttachRecord attachRecord;
    if (OrviMapiMsgAttachGetParam(all.handle, 0, &attachRecord) != 0) return -1;
    Attach attach;
    Stream data;
    if (OrviMapiMsgAttachOpen(message.handle, static_cast<uint32_t>(attachRecord.attachmentNumber),
                              attach.out()) != 0 ||
        OrviMapiMsgAttachGetStream(attach.handle, data.out()) != 0 || data.handle == nullptr)
        return -1;
    ReadAll(data.handle);
    return 0;
}

class WholeApiSweep : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        LoadSample();
    }
};

TEST_F(WholeApiSweep, TheTypicalRoad)
{
    ASSERT_EQ(TypicalRoad(), 0) << LastError();
    // A missing body or an absent HTML conversion is no failure of the road,
    // so some faults are absorbed; none may leak or crash.
    SweepFaults(FaultSweep("typical road").Fault(kFault).MayRecover().Allocations().MaxCalls(400),
                TypicalRoad);
}

// The exports one by one, each on handles opened beforehand.
class EachExport : public WholeApiSweep {
protected:
    void SetUp() override
    {
        WholeApiSweep::SetUp();
        Start();
        store = OpenDefaultStore(&storeId);
        ASSERT_EQ(OrviMapiFolderFindByType(store, 32, &inbox), 0) << LastError();
        ASSERT_EQ(OrviMapiFolderFindByType(store, 41, &sent), 0) << LastError();
        OrviMapiProps props = nullptr;
        ASSERT_EQ(OrviMapiFolderPropsGet(inbox, &props), 0) << LastError();
        FolderPropsRecord record;
        ASSERT_EQ(OrviMapiFolderPropsRead(inbox, props, &record), 0);
        inboxId.assign(record.entryId, record.entryId + record.entryIdSize);
        OrviMapiFolderPropsRelease(inbox, props);
        ASSERT_EQ(OrviMapiFolderContQuerySet(inbox, &contents), 0);
        ASSERT_GT(OrviMapiFolderContQueryGetRow(contents, &rows), 0);
        uint32_t cb = 0;
        unsigned char* bytes = nullptr;
        ASSERT_EQ(OrviMapiFolderContGetEID(rows, 0, &cb, &bytes), 0);
        messageId.assign(bytes, bytes + cb);
        ASSERT_EQ(OrviMapiMsgGet(inbox, cb, bytes, &message), 0) << LastError();
    }
    void TearDown() override
    {
        OrviMapiReleaseMsg(message);
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(contents);
        OrviMapiReleaseFolder(sent);
        OrviMapiReleaseFolder(inbox);
        OrviMapiMsgStoreRelease(store);
        WholeApiSweep::TearDown();
    }

    int32_t StoreIdSize() const { return static_cast<int32_t>(storeId.size()); }

    OrviMapiStore store = nullptr;
    OrviMapiFolder inbox = nullptr, sent = nullptr;
    OrviMapiTable contents = nullptr;
    OrviMapiRowSet rows = nullptr;
    OrviMapiMessage message = nullptr;
    Bytes storeId, inboxId, messageId;
};

struct ExportRun {
    FaultSweep sweep;
    std::function<int32_t()> run;
};

TEST_F(EachExport, ReadingExportsReportEveryFaultAndLeakNothing)
{
    const auto stream = [](std::function<int32_t(OrviMapiStream*)> open) {
        return [open] {
            Stream out;
            return open(out.out());
        };
    };
    const std::vector<ExportRun> exports = {
        {FaultSweep("OrviMapiMsgStoreQuerySet").LastErrorCode(kFaultCode),
         [] {
             Table table;
             return OrviMapiMsgStoreQuerySet(table.out(), 1);
         }},
        {FaultSweep("OrviMapiMsgStoreQueryGetRow").Success(1),
         [] {
             Table table;
             Rows row;
             if (OrviMapiMsgStoreQuerySet(table.out(), 0) != 0) return -1;
             return OrviMapiMsgStoreQueryGetRow(table.handle, row.out());
         }},
        {FaultSweep("OrviMapiMsgStoreGetMsgStoreInterface").MayRecover(),
         [&] {
             Store opened;
             return OrviMapiMsgStoreGetMsgStoreInterface(StoreIdSize(), storeId.data(),
                                                         opened.out());
         }},
        {FaultSweep("OrviMapiMsgStoreGetRootFolder").LastErrorCode(kFaultCode),
         [&] {
             Folder top;
             unsigned char id[256];
             uint32_t cb = 0;
             return OrviMapiMsgStoreGetRootFolder(store, top.out(), &cb, id);
         }},
        {FaultSweep("OrviMapiMsgStoreGetIPMSubtreeEID").LastErrorCode(kFaultCode),
         [&] {
             unsigned char id[256];
             uint32_t cb = 0;
             return OrviMapiMsgStoreGetIPMSubtreeEID(store, &cb, id);
         }},
        {FaultSweep("OrviMapiMsgStoreGetFolderInterface").LastErrorCode(kFaultCode),
         [&] {
             Folder folder;
             return OrviMapiMsgStoreGetFolderInterface(store, Size(inboxId), inboxId.data(),
                                                       folder.out());
         }},
        {FaultSweep("OrviMapiMsgStoreGetMsgInterface").LastErrorCode(kFaultCode),
         [&] {
             Message opened;
             return OrviMapiMsgStoreGetMsgInterface(store, Size(messageId), messageId.data(),
                                                    opened.out());
         }},
        {FaultSweep("OrviMapiFolderFindByType").MaxCalls(400).MayRecover(),
         [&] {
             Folder found;
             return OrviMapiFolderFindByType(store, 40, found.out());
         }},
        // A folder that cannot be told apart is a plain folder (5), not a failure.
        {FaultSweep("OrviMapiFolderGetFolderType").Success(32).MayRecover(),
         [&] { return OrviMapiFolderGetFolderType(store, Size(inboxId), inboxId.data()); }},
        {FaultSweep("OrviMapiFolderHierQueryAll").LastErrorCode(kFaultCode),
         [&] {
             Table table;
             Rows all;
             const int32_t count = OrviMapiFolderHierQueryAll(inbox, table.out(), all.out());
             return count > 0 ? 0 : -1;
         }},
        {FaultSweep("OrviMapiFolderContQueryGetRow").MaxCalls(400),
         [&] {
             Table table;
             Rows batch;
             if (OrviMapiFolderContQuerySet(inbox, table.out()) != 0) return -1;
             return OrviMapiFolderContQueryGetRow(table.handle, batch.out()) > 0 ? 0 : -1;
         }},
        {FaultSweep("OrviMapiFolderPropsGet").LastErrorCode(kFaultCode),
         [&] {
             OrviMapiProps props = nullptr;
             const int32_t result = OrviMapiFolderPropsGet(inbox, &props);
             if (props != nullptr) OrviMapiFolderPropsRelease(inbox, props);
             return result;
         }},
        {FaultSweep("OrviMapiMsgGet").LastErrorCode(kFaultCode),
         [&] {
             Message opened;
             return OrviMapiMsgGet(inbox, static_cast<uint32_t>(messageId.size()), messageId.data(),
                                   opened.out());
         }},
        {FaultSweep("OrviMapiMsgPropsGet").LastErrorCode(kFaultCode),
         [&] {
             OrviMapiProps props = nullptr;
             const int32_t result = OrviMapiMsgPropsGet(message, &props);
             if (props != nullptr) OrviMapiMsgPropsRelease(message, props);
             return result;
         }},
        {FaultSweep("OrviMapiMsgGetBodyTextStream").MayRecover().LastErrorCode(kFaultCode),
         stream([&](OrviMapiStream* out) { return OrviMapiMsgGetBodyTextStream(message, out); })},
        // A failing OpenProperty or Stat means "no RTF body": 0, nothing recorded.
        {FaultSweep("OrviMapiMsgGetBodyRTFStream").MayRecover(), stream([&](OrviMapiStream* out) {
             uint32_t size = 0;
             return OrviMapiMsgGetBodyRTFStream(message, out, &size);
         })},
        // The HTML property stands in for a failed conversion.
        {FaultSweep("OrviMapiMsgGetBodyHTMLStream").MayRecover(), stream([&](OrviMapiStream* out) {
             return OrviMapiMsgGetBodyHTMLStream(message, 1252, out);
         })},
        {FaultSweep("OrviMapiMsgAddrOtherQuerySet").LastErrorCode(kFaultCode),
         [&] {
             Table table;
             return OrviMapiMsgAddrOtherQuerySet(message, table.out());
         }},
        {FaultSweep("OrviMapiMsgAttachGetAllRows"),
         [&] {
             Table table;
             Rows all;
             if (OrviMapiMsgAttachQuerySet(message, table.out()) != 0) return -1;
             return OrviMapiMsgAttachGetAllRows(table.handle, all.out()) >= 0 ? 0 : -1;
         }},
        {FaultSweep("OrviMapiMsgGetFolderPath").MayRecover(),
         [&] {
             char path[512];
             int32_t length = 0, status = 0;
             return OrviMapiMsgGetFolderPath(store, static_cast<uint32_t>(messageId.size()),
                                             messageId.data(), "/", path, 511, &length, &status);
         }},
        {FaultSweep("OrviMapiGetSaveLocFolder").MaxCalls(400).MayRecover(),
         [&] {
             Folder folder;
             return OrviMapiGetSaveLocFolder(16, store, folder.out());
         }},
    };
    for (const ExportRun& entry : exports) {
        SCOPED_TRACE(entry.sweep.name);
        FaultSweep sweep = entry.sweep;
        SweepFaults(sweep.Fault(kFault).Allocations(), entry.run);
    }
    const FaultSiteTotals totals = FaultSitesSoFar();
    EXPECT_EQ(totals.faulted, totals.sites);
}

} // namespace
