// Notifications of the stand-in: advise registrations of stores and tables,
// what each change raises, and delivery on the notification thread.
#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

#include "stand_in.h"

using namespace standin;

namespace {

// What a sink was told, copied out of the notification while it was valid.
struct Seen {
    ULONG type = 0;
    ULONG object_type = 0;
    Bytes entry, parent, old_entry, old_parent;
    ULONG table_event = 0;
    Bytes index;
    ULONG prior_tag = 0;
    std::vector<SPropValue> row; // fixed-size values only
    std::string row_text;        // the row's first PT_STRING8 value
};

Bytes bytes(const ENTRYID* p, ULONG n)
{
    auto b = reinterpret_cast<const BYTE*>(p);
    return b ? Bytes(b, b + n) : Bytes{};
}

// A sink living on the test's stack; it counts references instead of
// freeing itself.
class Recorder final : public IMAPIAdviseSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG STDMETHODCALLTYPE OnNotify(ULONG n, LPNOTIFICATION list) override
    {
        std::vector<Seen> batch;
        for (ULONG i = 0; i < n; ++i) batch.push_back(copy(list[i]));
        if (on_notify) on_notify();
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(std::move(batch));
        return S_OK;
    }

    std::vector<Seen> all()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<Seen> out;
        for (auto& c : calls) out.insert(out.end(), c.begin(), c.end());
        return out;
    }
    size_t call_count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls.size();
    }

    std::atomic<ULONG> refs{1};
    std::function<void()> on_notify;
    std::mutex mutex;
    std::vector<std::vector<Seen>> calls;

private:
    static Seen copy(const NOTIFICATION& n)
    {
        Seen s;
        s.type = n.ulEventType;
        if (n.ulEventType == fnevNewMail) {
            s.entry = bytes(n.info.newmail.lpEntryID, n.info.newmail.cbEntryID);
            s.parent = bytes(n.info.newmail.lpParentID, n.info.newmail.cbParentID);
        } else if (n.ulEventType == fnevTableModified) {
            const TABLE_NOTIFICATION& t = n.info.tab;
            s.table_event = t.ulTableEvent;
            if (PROP_TYPE(t.propIndex.ulPropTag) == PT_BINARY)
                s.index = Bytes(t.propIndex.Value.bin.lpb,
                                t.propIndex.Value.bin.lpb + t.propIndex.Value.bin.cb);
            s.prior_tag = t.propPrior.ulPropTag;
            for (ULONG i = 0; i < t.row.cValues; ++i) {
                s.row.push_back(t.row.lpProps[i]);
                if (PROP_TYPE(t.row.lpProps[i].ulPropTag) == PT_STRING8 && s.row_text.empty())
                    s.row_text = t.row.lpProps[i].Value.lpszA;
            }
        } else {
            const OBJECT_NOTIFICATION& o = n.info.obj;
            s.object_type = o.ulObjType;
            s.entry = bytes(o.lpEntryID, o.cbEntryID);
            s.parent = bytes(o.lpParentID, o.cbParentID);
            s.old_entry = bytes(o.lpOldID, o.cbOldID);
            s.old_parent = bytes(o.lpOldParentID, o.cbOldParentID);
        }
        return s;
    }
};

constexpr ULONG kAllObjectEvents = fnevNewMail | fnevObjectCreated | fnevObjectDeleted |
                                   fnevObjectModified | fnevObjectMoved | fnevObjectCopied;

class Notifications : public StandIn {
protected:
    void SetUp() override
    {
        StandIn::SetUp();
        logon();
        open_store(store, *box.pst);
        open(entryid_of(*box.pst, *box.inbox), inbox, MAPI_FOLDER);
        open(entryid_of(*box.pst, *box.top), top, MAPI_FOLDER);
    }
    void TearDown() override
    {
        mapisim_set_notification_thread(0);
        inbox.reset();
        top.reset();
        store.reset();
        StandIn::TearDown();
    }

    ULONG advise(Recorder& sink, ULONG mask = kAllObjectEvents, const Bytes& only = {})
    {
        ULONG connection = 0;
        EXPECT_EQ(store->Advise(static_cast<ULONG>(only.size()),
                                only.empty()
                                    ? nullptr
                                    : reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(only.data())),
                                mask, &sink, &connection),
                  S_OK);
        return connection;
    }

    Bytes id(const Folder& f) { return entryid_of(*box.pst, f); }
    Bytes id(const Message& m) { return entryid_of(*box.pst, m); }

    ENTRYLIST list_of(std::vector<Bytes>& ids, std::vector<SBinary>& bins)
    {
        bins.clear();
        for (auto& b : ids) bins.push_back({static_cast<ULONG>(b.size()), b.data()});
        return {static_cast<ULONG>(bins.size()), bins.data()};
    }

    // Sinks outlive the store objects they are advised on.
    Recorder& recorder() { return recorders_.emplace_back(); }

    Com<IMsgStore> store;
    Com<IMAPIFolder> inbox, top;

private:
    std::list<Recorder> recorders_;
};

TEST_F(Notifications, SinksAreHeldFromAdviseToUnadviseWithConnectionsNeverReused)
{
    Recorder& a = recorder();
    Recorder& b = recorder();
    const ULONG first = advise(a);
    EXPECT_GE(first, 1u);
    EXPECT_EQ(a.refs, 2u);
    EXPECT_EQ(store->Unadvise(first), S_OK);
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(store->Unadvise(first), MAPI_E_NOT_FOUND);

    // A second store object and a table draw from the same numbers.
    Com<IMsgStore> other;
    open_store(other, *box.pst);
    ULONG second = 0, third = 0;
    ASSERT_EQ(other->Advise(0, nullptr, fnevObjectCreated, &b, &second), S_OK);
    EXPECT_EQ(store->Unadvise(second), MAPI_E_NOT_FOUND) << "a connection of another object";
    Com<IMAPITable> table;
    ASSERT_EQ(inbox->GetContentsTable(0, table.out()), S_OK);
    ASSERT_EQ(table->Advise(fnevTableModified, &a, &third), S_OK);
    EXPECT_GT(second, first);
    EXPECT_GT(third, second);

    // The last release of an object unadvises what is left on it.
    other.reset();
    table.reset();
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(b.refs, 1u);
}

TEST_F(Notifications, FolderChangesRaiseObjectNotificationsWithIdentifiersThatOpen)
{
    Recorder& sink = recorder();
    advise(sink);
    Com<IMAPIFolder> made;
    ASSERT_EQ(inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("Fresh"), nullptr, nullptr, 0,
                                  made.out()),
              S_OK);
    auto fresh = box.inbox->find_subfolder("Fresh");
    ASSERT_TRUE(fresh);
    ASSERT_EQ(sink.call_count(), 1u);
    Com<IMAPIFolder> announced;
    open(sink.all()[0].entry, announced, MAPI_FOLDER);
    SPropValue name{};
    name.ulPropTag = PR_DISPLAY_NAME_A;
    name.Value.lpszA = const_cast<LPSTR>("Renamed");
    ASSERT_EQ(made->SetProps(1, &name, nullptr), S_OK);
    ASSERT_EQ(made->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    Bytes freshId = id(*fresh);
    ASSERT_EQ(inbox->CopyFolder(static_cast<ULONG>(freshId.size()),
                                reinterpret_cast<LPENTRYID>(freshId.data()), nullptr, top.get(),
                                nullptr, 0, nullptr, FOLDER_MOVE),
              S_OK);
    ASSERT_EQ(top->DeleteFolder(static_cast<ULONG>(freshId.size()),
                                reinterpret_cast<LPENTRYID>(freshId.data()), 0, nullptr,
                                DEL_FOLDERS | DEL_MESSAGES),
              S_OK);

    const auto seen = sink.all();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].type, fnevObjectCreated);
    EXPECT_EQ(seen[1].type, fnevObjectModified) << "SetProps and SaveChanges: one notification";
    EXPECT_EQ(seen[2].type, fnevObjectMoved);
    EXPECT_EQ(seen[3].type, fnevObjectDeleted);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.object_type, MAPI_FOLDER);
        EXPECT_EQ(s.entry, freshId);
    }
    EXPECT_EQ(seen[0].parent, id(*box.inbox));
    EXPECT_EQ(seen[2].parent, id(*box.top));
    EXPECT_EQ(seen[2].old_parent, id(*box.inbox));
    EXPECT_EQ(seen[2].old_entry, freshId);
    EXPECT_EQ(seen[3].parent, id(*box.top));
    EXPECT_TRUE(seen[0].old_entry.empty());
}

TEST_F(Notifications, MessageChangesRaiseObjectNotifications)
{
    Recorder& sink = recorder();
    advise(sink);
    // A new message is announced when it is first saved, not when created.
    Com<IMessage> message;
    ASSERT_EQ(inbox->CreateMessage(nullptr, 0, message.out()), S_OK);
    EXPECT_EQ(sink.call_count(), 0u);
    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(message->SetReadFlag(CLEAR_READ_FLAG), S_OK);
    ASSERT_EQ(message->SaveChanges(0), S_OK);
    const auto seen = sink.all();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].type, fnevObjectCreated);
    EXPECT_EQ(seen[1].type, fnevObjectModified);
    EXPECT_EQ(seen[2].type, fnevObjectModified);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.object_type, MAPI_MESSAGE);
        EXPECT_EQ(s.parent, id(*box.inbox));
    }
    Com<IMessage> reopened;
    open(seen[0].entry, reopened, MAPI_MESSAGE);

    // Moving two messages: one OnNotify holding both moves.
    sink.calls.clear();
    std::vector<Bytes> ids{id(*box.mail[0]), id(*box.mail[1])};
    std::vector<SBinary> bins;
    ENTRYLIST list = list_of(ids, bins);
    Com<IMAPIFolder> drafts;
    open(id(*box.drafts), drafts, MAPI_FOLDER);
    ASSERT_EQ(inbox->CopyMessages(&list, nullptr, drafts.get(), 0, nullptr, MESSAGE_MOVE), S_OK);
    ASSERT_EQ(sink.calls.size(), 1u);
    ASSERT_EQ(sink.calls[0].size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const Seen& s = sink.calls[0][i];
        EXPECT_EQ(s.type, fnevObjectMoved);
        EXPECT_EQ(s.entry, ids[i]);
        EXPECT_EQ(s.old_entry, ids[i]);
        EXPECT_EQ(s.parent, id(*box.drafts));
        EXPECT_EQ(s.old_parent, id(*box.inbox));
    }
}

TEST_F(Notifications, EmptyingAFolderDeletesEachItemAndChangesItsTablesOnce)
{
    Recorder& sink = recorder();
    Recorder& tableSink = recorder();
    advise(sink);
    Com<IMAPITable> contents;
    ASSERT_EQ(inbox->GetContentsTable(0, contents.out()), S_OK);
    ULONG connection = 0;
    ASSERT_EQ(contents->Advise(fnevTableModified, &tableSink, &connection), S_OK);
    size_t normal = 0;
    for (auto& m : box.inbox->messages()) normal += m->associated ? 0 : 1;
    const size_t subfolders = box.inbox->subfolders().size();
    ASSERT_GT(normal, 1u);

    ASSERT_EQ(inbox->EmptyFolder(0, nullptr, 0), S_OK);
    const auto seen = sink.all();
    ASSERT_EQ(seen.size(), normal + subfolders);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].type, fnevObjectDeleted);
        EXPECT_EQ(seen[i].object_type, i < normal ? MAPI_MESSAGE : MAPI_FOLDER);
        EXPECT_EQ(seen[i].parent, id(*box.inbox));
    }
    const auto table = tableSink.all();
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].type, fnevTableModified);
    EXPECT_EQ(table[0].table_event, static_cast<ULONG>(TABLE_CHANGED));
}

TEST_F(Notifications, OpenTablesHearOfTheirRowsAddedChangedAndDeleted)
{
    Com<IMAPITable> contents, hierarchy, other;
    ASSERT_EQ(inbox->GetContentsTable(0, contents.out()), S_OK);
    ASSERT_EQ(top->GetHierarchyTable(0, hierarchy.out()), S_OK);
    Com<IMAPIFolder> drafts;
    open(id(*box.drafts), drafts, MAPI_FOLDER);
    ASSERT_EQ(drafts->GetContentsTable(0, other.out()), S_OK);
    auto columns = tags({PR_SUBJECT_A, PR_INSTANCE_KEY});
    ASSERT_EQ(contents->SetColumns(as_tags(columns), 0), S_OK);
    Recorder& rows = recorder();
    Recorder& folders = recorder();
    Recorder& elsewhere = recorder();
    ULONG c1 = 0, c2 = 0, c3 = 0;
    ASSERT_EQ(contents->Advise(fnevTableModified, &rows, &c1), S_OK);
    ASSERT_EQ(hierarchy->Advise(fnevTableModified, &folders, &c2), S_OK);
    ASSERT_EQ(other->Advise(fnevTableModified, &elsewhere, &c3), S_OK);

    Com<IMessage> message;
    ASSERT_EQ(inbox->CreateMessage(nullptr, 0, message.out()), S_OK);
    SPropValue subject{};
    subject.ulPropTag = PR_SUBJECT_A;
    subject.Value.lpszA = const_cast<LPSTR>("Table news");
    ASSERT_EQ(message->SetProps(1, &subject, nullptr), S_OK);
    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(message->SetReadFlag(0), S_OK);
    Props key;
    get_props(message.get(), {PR_ENTRYID}, key);
    Bytes eid(key[0].Value.bin.lpb, key[0].Value.bin.lpb + key[0].Value.bin.cb);
    SBinary bin{static_cast<ULONG>(eid.size()), eid.data()};
    ENTRYLIST list{1, &bin};
    ASSERT_EQ(inbox->DeleteMessages(&list, 0, nullptr, 0), S_OK);

    const auto seen = rows.all();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].table_event, static_cast<ULONG>(TABLE_ROW_ADDED));
    ASSERT_EQ(seen[0].row.size(), 2u) << "the table's columns";
    EXPECT_EQ(seen[0].row_text, "Table news");
    EXPECT_EQ(seen[0].row[1].ulPropTag, PR_INSTANCE_KEY);
    EXPECT_FALSE(seen[0].index.empty());
    EXPECT_EQ(seen[1].table_event, static_cast<ULONG>(TABLE_ROW_MODIFIED));
    EXPECT_EQ(seen[2].table_event, static_cast<ULONG>(TABLE_ROW_DELETED));
    for (const Seen& s : seen) EXPECT_EQ(s.index, seen[0].index);
    EXPECT_TRUE(seen[2].row.empty());

    // The Inbox's row of the top folder's hierarchy changed with its count.
    const auto hier = folders.all();
    ASSERT_FALSE(hier.empty());
    for (const Seen& s : hier) EXPECT_EQ(s.table_event, static_cast<ULONG>(TABLE_ROW_MODIFIED));
    EXPECT_EQ(elsewhere.call_count(), 0u) << "another folder's table";
}

TEST_F(Notifications, AnIdentifierRestrictsTheSinkToThatFolderAndWhatIsInIt)
{
    Recorder& inInbox = recorder();
    Recorder& onDrafts = recorder();
    advise(inInbox, kAllObjectEvents, id(*box.inbox));
    advise(onDrafts, kAllObjectEvents, id(*box.drafts));
    ASSERT_EQ(box.mail[0]->parent(), box.inbox);
    Com<IMessage> message;
    open(id(*box.mail[0]), message, MAPI_MESSAGE);
    ASSERT_EQ(message->SetReadFlag(0), S_OK);
    EXPECT_EQ(inInbox.all().size(), 1u);
    EXPECT_EQ(onDrafts.call_count(), 0u);
    // A mask leaves out what it does not name.
    Recorder& createdOnly = recorder();
    advise(createdOnly, fnevObjectCreated);
    ASSERT_EQ(message->SetReadFlag(CLEAR_READ_FLAG), S_OK);
    EXPECT_EQ(createdOnly.call_count(), 0u);
}

TEST_F(Notifications, ASinkMayUnadviseItselfWhileBeingCalled)
{
    Recorder& sink = recorder();
    const ULONG connection = advise(sink);
    sink.on_notify = [&] { EXPECT_EQ(store->Unadvise(connection), S_OK); };
    Com<IMessage> message;
    open(id(*box.mail[0]), message, MAPI_MESSAGE);
    ASSERT_EQ(message->SetReadFlag(0), S_OK);
    EXPECT_EQ(sink.refs, 1u) << "the stand-in's reference is given back once the call returned";
    ASSERT_EQ(message->SetReadFlag(CLEAR_READ_FLAG), S_OK);
    EXPECT_EQ(sink.call_count(), 1u);
}

TEST_F(Notifications, ArbitraryNotificationsReachEverySinkOfTheObject)
{
    Recorder& sink = recorder();
    advise(sink, fnevObjectCreated);
    const unsigned char entry[] = {1, 2, 3};
    mapisim_notification n[2] = {};
    n[0].event_type = fnevExtended;
    n[0].object_type = MAPI_ATTACH;
    n[0].entry_id = entry;
    n[0].entry_id_size = sizeof entry;
    n[1].event_type = 0x12345;
    n[1].object_type = MAPI_STORE;
    ASSERT_EQ(mapisim_raise_notifications(store.get(), n, 2), 0);
    const auto seen = sink.all();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].type, fnevExtended);
    EXPECT_EQ(seen[0].object_type, MAPI_ATTACH);
    EXPECT_EQ(seen[0].entry, Bytes(entry, entry + 3));
    EXPECT_EQ(seen[1].type, 0x12345u);
    EXPECT_EQ(seen[1].object_type, MAPI_STORE);

    EXPECT_EQ(mapisim_raise_notifications(inbox.get(), n, 1), -1) << "no sink on it";
    EXPECT_EQ(mapisim_raise_notifications(store.get(), n, 0), -1);
    EXPECT_EQ(mapisim_raise_notifications(nullptr, n, 1), -1);
}

TEST_F(Notifications, DeliveredMailArrivesUnreadWithNewMailThenCreated)
{
    Recorder& sink = recorder();
    advise(sink);
    const size_t before = box.sub->messages().size();
    ASSERT_EQ(
        mapisim_deliver_mail("Personal Folders", "inbox/projects",
                             R"([{"subject": "One"}, {"subject": "Two", "flags": ["read"]}])"),
        2)
        << mapisim_last_load_error();
    ASSERT_EQ(box.sub->messages().size(), before + 2);
    const auto& one = *box.sub->messages()[before];
    EXPECT_EQ(one.props.i4(PR_MESSAGE_FLAGS), 0) << "unread";
    EXPECT_TRUE(one.props.contains(PR_MESSAGE_DELIVERY_TIME));
    EXPECT_EQ(box.sub->messages()[before + 1]->props.i4(PR_MESSAGE_FLAGS), MSGFLAG_READ);
    ASSERT_EQ(sink.call_count(), 2u) << "one OnNotify per delivery";
    const Seen& mail = sink.calls[0][0];
    EXPECT_EQ(mail.type, fnevNewMail);
    EXPECT_EQ(mail.entry, id(one));
    EXPECT_EQ(mail.parent, id(*box.sub));
    EXPECT_EQ(sink.calls[0][1].type, fnevObjectCreated);
    EXPECT_EQ(sink.calls[0][1].entry, id(one));
    Com<IMessage> opened;
    open(mail.entry, opened, MAPI_MESSAGE);

    // Nothing is delivered when any part is wrong.
    EXPECT_EQ(mapisim_deliver_mail("Personal Folders", "Nowhere", R"({"subject": "x"})"), -1);
    EXPECT_NE(std::string(mapisim_last_load_error()).find("Nowhere"), std::string::npos);
    EXPECT_EQ(mapisim_deliver_mail(nullptr, "Inbox", R"([{"subject": "x"}, {"subjekt": 1}])"), -1);
    EXPECT_EQ(mapisim_deliver_mail("No such store", "Inbox", R"({"subject": "x"})"), -1);
    EXPECT_EQ(mapisim_deliver_mail(nullptr, "Inbox", nullptr), -1);
    EXPECT_EQ(box.sub->messages().size(), before + 2);
    EXPECT_EQ(sink.call_count(), 2u);
}

TEST_F(Notifications, TheNotificationThreadDeliversInOrderAndNeverAfterUnadvise)
{
    ASSERT_EQ(mapisim_set_notification_thread(1), 0);
    Recorder& sink = recorder();
    const ULONG connection = advise(sink);
    const auto mainThread = std::this_thread::get_id();
    sink.on_notify = [&] {
        EXPECT_NE(std::this_thread::get_id(), mainThread);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    Com<IMessage> message;
    open(id(*box.mail[0]), message, MAPI_MESSAGE);
    constexpr int kChanges = 20;
    for (int i = 0; i < kChanges; ++i)
        ASSERT_EQ(message->SetReadFlag(i % 2 ? CLEAR_READ_FLAG : 0), S_OK);
    mapisim_wait_for_notifications();
    EXPECT_EQ(sink.call_count(), static_cast<size_t>(kChanges));

    for (int i = 0; i < kChanges; ++i) ASSERT_EQ(message->SetReadFlag(0), S_OK);
    ASSERT_EQ(store->Unadvise(connection), S_OK);
    const size_t atUnadvise = sink.call_count();
    EXPECT_EQ(sink.refs, 1u);
    mapisim_wait_for_notifications();
    EXPECT_EQ(sink.call_count(), atUnadvise);
    EXPECT_EQ(mapisim_set_notification_thread(0), 0);
}

} // namespace
