// The folder path of a message, a folder or the store: the walk up to the
// root, the filter that drops the top folder's name, the limits of the
// caller's buffer and of the work area, and the walk's failures.
#include <algorithm>

#include "messages/message_ops_support.h"
#include "support/fault_sweep.h"

namespace {

using namespace msgops;

constexpr int32_t kBufferSize = 4096;

struct PathResult {
    int32_t result;
    int32_t status;
    std::string path;
    int32_t length;
};

class FolderPathTest : public MessageOpsTest {
protected:
    // A walk over a buffer of maxLength + 1 bytes inside a larger one filled
    // with a sentinel, which must stay untouched past the buffer.
    PathResult Path(const Bytes& id, int32_t maxLength = 255, const char* separator = "\\",
                    const std::string& preset = "")
    {
        std::string buffer(kBufferSize, '#');
        buffer.replace(0, preset.size() + 1, preset.c_str(), preset.size() + 1);
        PathResult r{};
        r.status = 77;
        r.length = static_cast<int32_t>(preset.size());
        r.result =
            OrviMapiMsgGetFolderPath(store, static_cast<uint32_t>(id.size()), id.data(), separator,
                                     buffer.data(), maxLength, &r.length, &r.status);
        const size_t end = std::max(static_cast<size_t>(maxLength), preset.size()) + 1;
        EXPECT_EQ(buffer.find_first_not_of('#', end), std::string::npos)
            << "written past the buffer";
        r.path = buffer.substr(0, buffer.find('\0'));
        return r;
    }
};

TEST_F(FolderPathTest, EachKindOfEntryGivesItsFolderPath)
{
    const PathResult message = Path(MessageId("Inbox/Lists", "Deep"));
    EXPECT_EQ(message.result, 0);
    EXPECT_EQ(message.status, 0);
    EXPECT_EQ(message.path, "Mail\\Inbox\\Lists");
    EXPECT_EQ(message.length, 16);

    EXPECT_EQ(Path(MessageId("Inbox", "One")).path, "Mail\\Inbox");
    EXPECT_EQ(Path(FolderId("Inbox/Lists"), 255, "/").path, "Mail/Inbox/Lists");
    // The top folder's own name is the one the filter drops.
    EXPECT_EQ(Path(topId).path, "Mail");
    // A folder without a name ends the walk as the root does.
    EXPECT_EQ(Path(MessageIdIn(ChildId(topId, ""), "Nameless")).path, "Mail");
    EXPECT_EQ(Path(storeId).path, "Mail");

    // The root folder, the top's parent.
    OrviMapiFolder root = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreGetFolderParentInterface(store, Size(topId), topId.data(), &root), 0);
    SPropValue* id = nullptr;
    ASSERT_EQ(HrGetOneProp(reinterpret_cast<IMAPIProp*>(root), PR_ENTRYID, &id), S_OK);
    const PathResult rootPath =
        Path(Bytes(id->Value.bin.lpb, id->Value.bin.lpb + id->Value.bin.cb));
    MAPIFreeBuffer(id);
    OrviMapiReleaseFolder(root);
    EXPECT_EQ(rootPath.status, 0);
    EXPECT_EQ(rootPath.path, "Mail");
}

TEST_F(FolderPathTest, AStoreNameWithTheSeparatorLosesItsTailAndKeepsTheTop)
{
    std::string json = kMailbox;
    json.replace(json.find("\"Mail\""), 6, "\"Mail\\\\Box\"");
    Open(json);
    EXPECT_EQ(Path(MessageId("Inbox", "One")).path, "Mail\\Top of Information Store\\Inbox");
    EXPECT_EQ(Path(MessageId("Inbox", "One"), 255, "/").path, "Mail\\Box/Inbox");
}

TEST_F(FolderPathTest, EveryLevelMustFitTheMaximumLength)
{
    const Bytes deep = MessageId("Inbox/Lists", "Deep");
    // The top folder's level holds "Top of Information Store\Inbox\Lists\"
    // (37 characters): a maximum below that fails there, keeping the level
    // below, even one that the final path (16 characters) would fit.
    EXPECT_EQ(Path(deep, 16).status, -1);
    const PathResult cut = Path(deep, 36);
    EXPECT_EQ(cut.result, 0);
    EXPECT_EQ(cut.status, -1);
    EXPECT_EQ(cut.path, "Inbox\\Lists\\");
    EXPECT_EQ(cut.length, 12);
    EXPECT_EQ(LastErrorText(), "none");
    EXPECT_EQ(Path(deep, 37).status, 0);

    const PathResult tiny = Path(deep, 5);
    EXPECT_EQ(tiny.status, -1);
    EXPECT_EQ(tiny.path, "");
    EXPECT_EQ(tiny.length, 0);
}

TEST_F(FolderPathTest, AStoreNameThatOverflowsTheWorkAreaFailsTheWalk)
{
    for (const size_t nameLength : {2015u, 2016u}) {
        std::string json = kMailbox;
        json.replace(json.find("\"Mail\""), 6, "\"" + std::string(nameLength, 'S') + "\"");
        Open(json);
        // The root level assembles the name, a separator and
        // "Top of Information Store\Inbox\" (31 characters) in 2,048 bytes.
        const PathResult r = Path(MessageId("Inbox", "One"), kBufferSize - 1);
        SCOPED_TRACE(nameLength);
        if (nameLength + 1 + 31 < 2048) {
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.path, std::string(nameLength, 'S') + "\\Inbox");
        } else {
            EXPECT_EQ(r.status, -1);
            EXPECT_EQ(r.path, "Top of Information Store\\Inbox\\");
        }
    }
}

TEST_F(FolderPathTest, AWalkContinuesACallersPathWithoutResettingTheStatus)
{
    // "Inbox\" and "Top...\" go in front of "x"; the filter drops the top's
    // name and the last character, which is now the caller's own.
    const PathResult r = Path(MessageId("Inbox", "One"), 255, "\\", "x");
    EXPECT_EQ(r.path, "Mail\\Inbox\\");
    EXPECT_EQ(r.status, 77);
    EXPECT_EQ(r.length, 11);

    // A preset length beyond the maximum is refused: the buffer holds no more.
    EXPECT_EQ(Path(MessageId("Inbox", "One"), 3, "\\", "xxxxx").status, -1);
}

TEST_F(FolderPathTest, BadArgumentsOpenNothing)
{
    const Bytes id = MessageId("Inbox", "One");
    mapisim_call_log_clear();
    for (const char* separator : {"", "\\\\"}) {
        const PathResult r = Path(id, 255, separator);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(LastErrorText(), "none");
    }
    EXPECT_EQ(Path({}, 255).status, -1);
    EXPECT_EQ(Path(id, 0).status, -1);
    EXPECT_EQ(OrviMapiMsgGetFolderPath(store, 4, nullptr, "\\", nullptr, 10, nullptr, nullptr), 0);
    EXPECT_EQ(mapisim_call_count(), 0u);

    char path[8] = "keep";
    int32_t length = 0, status = 5;
    EXPECT_EQ(
        OrviMapiMsgGetFolderPath(nullptr, Size(id), id.data(), "\\", path, 7, &length, &status),
        -1);
    EXPECT_EQ(LastErrorText(), "MsgStore not defined");
    EXPECT_EQ(status, 5);
    EXPECT_STREQ(path, "keep");
}

TEST_F(FolderPathTest, EveryFailingCallFailsTheWalkAndReleasesAll)
{
    const Bytes deep = MessageId("Inbox/Lists", "Deep");
    // The message, its parent, then Lists, Inbox, the top and the root, each
    // opened and read, and last the store's name; the path each failure
    // leaves. An unreadable store name reads as empty: the walk still ends.
    const char* const top = "Top of Information Store\\Inbox\\Lists\\";
    const std::vector<std::pair<FaultStep, std::string>> steps = {
        {{"IMsgStore::OpenEntry", -1}, ""},
        {{"IMessage::GetProps", -1}, ""},
        {{"IMsgStore::OpenEntry", -1}, ""},
        {{"IMAPIFolder::GetProps", -1}, ""},
        {{"IMsgStore::OpenEntry", -1}, "Lists\\"},
        {{"IMAPIFolder::GetProps", -1}, "Lists\\"},
        {{"IMsgStore::OpenEntry", -1}, "Inbox\\Lists\\"},
        {{"IMAPIFolder::GetProps", -1}, "Inbox\\Lists\\"},
        {{"IMsgStore::OpenEntry", -1}, top},
        {{"IMAPIFolder::GetProps", -1}, top},
        {{"IMsgStore::GetProps", 0}, "\\Inbox\\Lists"}};
    std::vector<FaultStep> calls;
    for (const auto& step : steps) calls.push_back(step.first);
    PathResult last{};
    SweepFaults(FaultSweep("GetFolderPath")
                    .Fault(MAPI_E_DISK_ERROR)
                    .Steps(calls)
                    .Check([&](const SweepRun& r) {
                        EXPECT_EQ(last.result, 0);
                        if (!r.injected) {
                            EXPECT_EQ(last.path, "Mail\\Inbox\\Lists");
                        } else if (r.nth <= steps.size()) {
                            EXPECT_EQ(last.path, steps[r.nth - 1].second);
                            if (last.status != 0) {
                                EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 278");
                            }
                        }
                    }),
                [&] {
                    last = Path(deep);
                    return last.status;
                });
}

} // namespace
