// The advise sink on its own: how MAPI notifications become callback calls,
// its COM behaviour and its layout.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "notify/advise_sink.h"
#include "notify_support.h"

namespace {

using notifytest::Bytes;
using notifytest::Callbacks;
using notifytest::Recorded;

constexpr ULONG kMapiStore = 1, kMapiFolder = 3, kMapiMessage = 5, kMapiAttach = 7;

ENTRYID* Id(unsigned char* bytes) { return reinterpret_cast<ENTRYID*>(bytes); }

class AdviseSinkTest : public ::testing::Test {
protected:
    void SetUp() override { Callbacks().clear(); }
    void TearDown() override
    {
        if (sink != nullptr) {
            EXPECT_EQ(sink->Release(), 0u);
        }
    }
    AdviseSink* sink = nullptr;
    IMsgStore* const store = reinterpret_cast<IMsgStore*>(0x1234);
};

TEST_F(AdviseSinkTest, NewMailThenAMovedMessageGiveTwoCallsInOrder)
{
    sink = AdviseSink::ForStore(notifytest::Record, store, 77);
    unsigned char mail[] = {1, 1}, inbox[] = {2, 2, 2}, moved[] = {3}, drafts[] = {4, 4},
                  old[] = {5, 5, 5, 5};
    NOTIFICATION list[2] = {};
    list[0].ulEventType = fnevNewMail;
    list[0].info.newmail = {sizeof mail, Id(mail), sizeof inbox, Id(inbox), 0, nullptr, 0};
    list[1].ulEventType = fnevObjectMoved;
    list[1].info.obj = {sizeof moved, Id(moved), kMapiMessage, sizeof drafts, Id(drafts),
                        sizeof old,   Id(old),   sizeof inbox, Id(inbox),     nullptr};

    EXPECT_EQ(sink->OnNotify(2, list), static_cast<ULONG>(S_OK));

    const std::vector<Recorded>& calls = Callbacks();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].eventCode, 1);
    EXPECT_EQ(calls[0].objectKind, 2);
    EXPECT_EQ(calls[0].ids[0], Bytes(mail, mail + 2));
    EXPECT_EQ(calls[0].ids[1], Bytes(inbox, inbox + 3));
    EXPECT_EQ(calls[0].sizes[2], 0u);
    EXPECT_EQ(calls[0].sizes[3], 0u);
    EXPECT_TRUE(calls[0].nullPointer[2] && calls[0].nullPointer[3])
        << "new mail has no old identifiers";
    EXPECT_EQ(calls[1].eventCode, 6);
    EXPECT_EQ(calls[1].objectKind, 2);
    EXPECT_EQ(calls[1].ids[0], Bytes(moved, moved + 1));
    EXPECT_EQ(calls[1].ids[1], Bytes(drafts, drafts + 2));
    EXPECT_EQ(calls[1].ids[2], Bytes(old, old + 4));
    EXPECT_EQ(calls[1].ids[3], Bytes(inbox, inbox + 3));
    for (const Recorded& call : calls) {
        EXPECT_EQ(call.storeHandle, reinterpret_cast<OrviMapiStore*>(&sink->storeHandle));
        EXPECT_EQ(*call.storeHandle, reinterpret_cast<OrviMapiStore>(store));
        EXPECT_EQ(call.userValue, 77u);
    }
}

TEST_F(AdviseSinkTest, EventCodesAndObjectKindsFollowTheirTables)
{
    sink = AdviseSink::ForStore(notifytest::Record, store, 0);
    struct Case {
        ULONG eventType, objectType;
        int32_t code, kind;
    } cases[] = {
        {fnevObjectCreated, kMapiFolder, 2, 1},
        {fnevObjectCopied, kMapiMessage, 3, 2},
        {fnevObjectDeleted, kMapiFolder, 4, 1},
        {fnevObjectModified, kMapiMessage, 5, 2},
        {fnevObjectMoved, kMapiFolder, 6, 1},
        {fnevObjectCreated, kMapiStore, 2, 0},
        {fnevObjectDeleted, kMapiAttach, 4, 0},
        {fnevExtended, kMapiMessage, 0, 2},
        {fnevTableModified, kMapiFolder, 0, 1},
        {fnevCriticalError, 0, 0, 0},
        {fnevNewMail | fnevObjectCreated, kMapiFolder, 0, 1},
    };
    unsigned char entry[] = {9, 8, 7};
    for (const Case& c : cases) {
        NOTIFICATION n = {};
        n.ulEventType = c.eventType;
        n.info.obj.ulObjType = c.objectType;
        n.info.obj.cbEntryID = sizeof entry;
        n.info.obj.lpEntryID = Id(entry);
        sink->OnNotify(1, &n);
    }
    ASSERT_EQ(Callbacks().size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Callbacks()[i].eventCode, cases[i].code);
        EXPECT_EQ(Callbacks()[i].objectKind, cases[i].kind);
        EXPECT_EQ(Callbacks()[i].ids[0], Bytes(entry, entry + 3)) << "read at the object positions";
    }
}

TEST_F(AdviseSinkTest, SilentSinksAcknowledgeAndCallNobody)
{
    NOTIFICATION n = {};
    n.ulEventType = fnevNewMail;
    sink = AdviseSink::ForTable();
    EXPECT_EQ(sink->muted, 1u);
    EXPECT_EQ(sink->callback, nullptr);
    EXPECT_EQ(sink->storeHandle, nullptr);
    EXPECT_EQ(sink->userValue, 0u);
    EXPECT_EQ(sink->OnNotify(1, &n), static_cast<ULONG>(S_OK));
    n.ulEventType = fnevTableModified;
    EXPECT_EQ(sink->OnNotify(1, &n), static_cast<ULONG>(S_OK));
    // A store sink without a callback, or muted afterwards, drops them too.
    AdviseSink* quiet = AdviseSink::ForStore(nullptr, store, 5);
    EXPECT_EQ(quiet->OnNotify(1, &n), static_cast<ULONG>(S_OK));
    quiet->Release();
    AdviseSink* muted = AdviseSink::ForStore(notifytest::Record, store, 5);
    muted->muted = 1;
    EXPECT_EQ(muted->OnNotify(1, &n), static_cast<ULONG>(S_OK));
    muted->Release();
    EXPECT_TRUE(Callbacks().empty());
}

TEST_F(AdviseSinkTest, CountsReferencesAndAnswersForItsTwoInterfaces)
{
    sink = AdviseSink::ForStore(notifytest::Record, store, 0);
    EXPECT_EQ(sink->refCount, 1u);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(sink->QueryInterface(IID_IMAPIAdviseSink, &out), S_OK);
    EXPECT_EQ(out, static_cast<IMAPIAdviseSink*>(sink));
    EXPECT_EQ(sink->refCount, 2u);
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(sink->refCount, 3u);
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(sink->QueryInterface(IID_IMAPITable, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(sink->refCount, 3u);
    EXPECT_EQ(sink->AddRef(), 4u);
    EXPECT_EQ(sink->Release(), 3u);
    EXPECT_EQ(sink->Release(), 2u);
    EXPECT_EQ(sink->Release(), 1u);
}

TEST_F(AdviseSinkTest, FieldsFollowTheInterfacePointerInTheirOrder)
{
    sink = AdviseSink::ForStore(notifytest::Record, store, 0);
    auto at = [&](const void* field) {
        return static_cast<const char*>(field) - reinterpret_cast<const char*>(sink);
    };
    EXPECT_EQ(at(&sink->muted), static_cast<ptrdiff_t>(sizeof(void*)));
    EXPECT_LT(at(&sink->muted), at(&sink->refCount));
    EXPECT_LT(at(&sink->refCount), at(&sink->callback));
    EXPECT_LT(at(&sink->callback), at(&sink->storeHandle));
    EXPECT_LT(at(&sink->storeHandle), at(&sink->userValue));
}

} // namespace
