// The stand-in called from several threads at once, as MAPI is free-threaded:
// each thread reads tables, opens messages and decodes compressed RTF on
// objects of its own over one shared session, while another reads the call
// log and adds fault rules, or changes messages while the notification
// thread delivers to a sink that calls back. Built with ThreadSanitizer in
// CI, where any unsynchronised access is a report.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "mapisim/core/small_mutex.h"
#include "mapisim/core/stand_in_lock.h"
#include "mapisim/decl/mapitags.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"

namespace {

using Bytes = std::vector<BYTE>;

template <class T>
struct Owned {
    T* p = nullptr;
    ~Owned()
    {
        if (p != nullptr) p->Release();
    }
    T** out() { return &p; }
    LPUNKNOWN* unknown() { return reinterpret_cast<LPUNKNOWN*>(&p); }
    T* operator->() const { return p; }
};

struct RowsOwner {
    SRowSet* p = nullptr;
    ~RowsOwner() { FreeProws(p); }
};

Bytes BinaryOf(const SPropValue& value)
{
    return PROP_TYPE(value.ulPropTag) == PT_BINARY
               ? Bytes(value.Value.bin.lpb, value.Value.bin.lpb + value.Value.bin.cb)
               : Bytes();
}

// Counts its notifications and, as a client's sink may, calls the store it
// watches from the notification thread.
class CallingSink final : public IMAPIAdviseSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG STDMETHODCALLTYPE OnNotify(ULONG count, LPNOTIFICATION) override
    {
        entered = true;
        notifications += count;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        SizedSPropTagArray(1, tags) = {1, {PR_DISPLAY_NAME_A}};
        ULONG n = 0;
        LPSPropValue values = nullptr;
        if (SUCCEEDED(store->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &n, &values)))
            MAPIFreeBuffer(values);
        else
            ++failedCalls;
        return S_OK;
    }

    IMsgStore* store = nullptr;
    std::atomic<ULONG> refs{1};
    std::atomic<bool> entered{false};
    std::atomic<ULONG> notifications{0};
    std::atomic<int> failedCalls{0};
};

class StandInThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        mapisim_reset();
        objects_ = mapisim_live_objects();
        allocations_ = mapisim_live_allocations();
        ASSERT_EQ(mapisim_load_mailbox_file(ORVIMAPI_SOURCE_DIR "/samples/mailbox.json"), 0)
            << mapisim_last_load_error();
        ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
        ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr,
                              MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_USE_DEFAULT, session_.out()),
                  S_OK);
        // The default store and its Inbox, found once before the threads start.
        Owned<IMAPITable> stores;
        ASSERT_EQ(session_->GetMsgStoresTable(0, stores.out()), S_OK);
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DEFAULT_STORE}};
        RowsOwner rows;
        ASSERT_EQ(HrQueryAllRows(stores.p, reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                                 nullptr, 0, &rows.p),
                  S_OK);
        for (ULONG i = 0; i < rows.p->cRows; ++i)
            if (rows.p->aRow[i].lpProps[1].ulPropTag == PR_DEFAULT_STORE &&
                rows.p->aRow[i].lpProps[1].Value.b)
                storeId_ = BinaryOf(rows.p->aRow[i].lpProps[0]);
        ASSERT_FALSE(storeId_.empty());
        Owned<IMsgStore> store;
        ASSERT_EQ(OpenStore(store), S_OK);
        ULONG cb = 0;
        LPENTRYID inbox = nullptr;
        ASSERT_EQ(store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &cb, &inbox, nullptr),
                  S_OK);
        inboxId_.assign(reinterpret_cast<BYTE*>(inbox), reinterpret_cast<BYTE*>(inbox) + cb);
        MAPIFreeBuffer(inbox);
    }

    void TearDown() override
    {
        mapisim_set_notification_thread(0);
        session_.p->Release();
        session_.p = nullptr;
        MAPIUninitialize();
        mapisim_clear_faults();
        EXPECT_EQ(mapisim_live_objects(), objects_) << "objects leaked";
        EXPECT_EQ(mapisim_live_allocations(), allocations_) << "MAPI buffers leaked";
        EXPECT_EQ(mapisim_dead_calls(), 0u);
        mapisim_reset();
    }

    HRESULT OpenStore(Owned<IMsgStore>& store)
    {
        return session_->OpenMsgStore(0, static_cast<ULONG>(storeId_.size()),
                                      reinterpret_cast<LPENTRYID>(storeId_.data()), nullptr,
                                      MAPI_BEST_ACCESS, store.out());
    }

    // One reader's round: the Inbox's rows, each message opened and its RTF
    // body decoded. Gives the bytes of RTF read, or -1 on a failure.
    long long ReadInbox()
    {
        Owned<IMsgStore> store;
        if (OpenStore(store) != S_OK) return -1;
        Owned<IMAPIFolder> folder;
        ULONG type = 0;
        if (store->OpenEntry(static_cast<ULONG>(inboxId_.size()),
                             reinterpret_cast<LPENTRYID>(inboxId_.data()), nullptr,
                             MAPI_BEST_ACCESS, &type, folder.unknown()) != S_OK)
            return -1;
        Owned<IMAPITable> contents;
        if (folder->GetContentsTable(0, contents.out()) != S_OK) return -1;
        SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
        if (FAILED(contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return -1;
        long long bytes = 0;
        for (;;) {
            RowsOwner rows;
            if (contents->QueryRows(7, 0, &rows.p) != S_OK) return -1;
            if (rows.p->cRows == 0) break;
            for (ULONG i = 0; i < rows.p->cRows; ++i) {
                Bytes id = BinaryOf(rows.p->aRow[i].lpProps[0]);
                Owned<IMessage> message;
                if (store->OpenEntry(static_cast<ULONG>(id.size()),
                                     reinterpret_cast<LPENTRYID>(id.data()), nullptr,
                                     MAPI_BEST_ACCESS, &type, message.unknown()) != S_OK)
                    return -1;
                Owned<IStream> compressed;
                if (message->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_DEFERRED_ERRORS,
                                          compressed.unknown()) != S_OK)
                    continue; // no RTF body
                Owned<IStream> rtf;
                if (WrapCompressedRTFStream(compressed.p, 0, rtf.out()) != S_OK) return -1;
                char block[4096];
                ULONG got = 0;
                while (rtf->Read(block, sizeof block, &got) == S_OK && got > 0) bytes += got;
            }
        }
        return bytes;
    }

    // Flips the read flag of every Inbox message, rounds times: each change
    // raises a notification. False on a failure.
    bool ChangeInbox(int rounds)
    {
        Owned<IMsgStore> store;
        if (OpenStore(store) != S_OK) return false;
        Owned<IMAPIFolder> folder;
        ULONG type = 0;
        if (store->OpenEntry(static_cast<ULONG>(inboxId_.size()),
                             reinterpret_cast<LPENTRYID>(inboxId_.data()), nullptr,
                             MAPI_BEST_ACCESS, &type, folder.unknown()) != S_OK)
            return false;
        Owned<IMAPITable> contents;
        if (folder->GetContentsTable(0, contents.out()) != S_OK) return false;
        SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
        RowsOwner rows;
        if (HrQueryAllRows(contents.p, reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                           nullptr, 0, &rows.p) != S_OK)
            return false;
        for (int round = 0; round < rounds; ++round)
            for (ULONG i = 0; i < rows.p->cRows; ++i) {
                Bytes id = BinaryOf(rows.p->aRow[i].lpProps[0]);
                Owned<IMessage> message;
                if (store->OpenEntry(static_cast<ULONG>(id.size()),
                                     reinterpret_cast<LPENTRYID>(id.data()), nullptr,
                                     MAPI_BEST_ACCESS, &type, message.unknown()) != S_OK ||
                    message->SetReadFlag(round % 2 ? CLEAR_READ_FLAG : 0) != S_OK)
                    return false;
            }
        return true;
    }

    Owned<IMAPISession> session_;
    Bytes storeId_, inboxId_;
    uint32_t objects_ = 0, allocations_ = 0;
};

TEST_F(StandInThreads, ReadersOnTheirOwnObjectsOverOneSession)
{
    const long long expected = ReadInbox();
    ASSERT_GT(expected, 0);

    constexpr int kReaders = 4, kRounds = 6;
    std::atomic<bool> readersDone{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kReaders; ++t)
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round)
                if (ReadInbox() != expected) ++wrong;
        });
    // Meanwhile the controls: the call log read and cleared, a fault rule
    // that never fires added and taken away.
    std::thread controls([&] {
        while (!readersDone) {
            mapisim_call mapiCall{};
            const uint32_t count = mapisim_call_count();
            if (count > 0) mapisim_call_get(count - 1, &mapiCall);
            mapisim_call_count_of("IMAPITable::QueryRows");
            mapisim_fail_method("IMsgStore::Unadvise", 1000000, 0,
                                static_cast<int32_t>(0x80004005));
            mapisim_clear_faults();
            mapisim_call_log_clear();
            mapisim_live_objects();
            std::this_thread::yield();
        }
    });
    for (std::thread& thread : threads) thread.join();
    readersDone = true;
    controls.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(StandInThreads, ReadersAndAWriterWhileTheNotificationThreadDeliversToASinkThatCalls)
{
    const long long expected = ReadInbox();
    ASSERT_GT(expected, 0);
    ASSERT_EQ(mapisim_set_notification_thread(1), 0);
    Owned<IMsgStore> watched;
    ASSERT_EQ(OpenStore(watched), S_OK);
    CallingSink sink;
    sink.store = watched.p;
    ULONG connection = 0;
    ASSERT_EQ(watched->Advise(0, nullptr, fnevObjectModified, &sink, &connection), S_OK);

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int round = 0; round < 3; ++round)
                if (ReadInbox() != expected) ++wrong;
        });
    threads.emplace_back([&] {
        if (!ChangeInbox(4)) ++wrong;
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);

    // Unadvise while deliveries are queued and one is under way: it waits
    // for that one, whose sink is calling the store (and so needs the lock
    // Unadvise runs under), and nothing is delivered after it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!sink.entered && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(watched->Unadvise(connection), S_OK);
    const ULONG atUnadvise = sink.notifications;
    mapisim_wait_for_notifications();
    EXPECT_EQ(sink.notifications.load(), atUnadvise);
    EXPECT_GT(atUnadvise, 0u);
    EXPECT_EQ(sink.failedCalls.load(), 0);
    EXPECT_EQ(sink.refs.load(), 1u);
    EXPECT_EQ(mapisim_set_notification_thread(0), 0);
}

} // namespace

// The stand-in's locks under contention: every increment is kept (the holder
// is alone) and no waiter sleeps past the last unlock (the test ends). The
// stand-in lock also nests on the thread that holds it, and lets go fully
// for a StandInRelease.
TEST(StandInLocks, SmallMutexExcludesAndWakesEveryWaiter)
{
    mapisim::SmallMutex mutex;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                mutex.lock();
                const long seen = counter;
                if (i % 512 == 0) std::this_thread::yield(); // hold it a while
                counter = seen + 1;
                mutex.unlock();
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 4 * 20000);

    std::atomic<bool> otherGotIn{false};
    mapisim::LockStandIn();
    mapisim::LockStandIn();
    std::thread other([&] {
        const mapisim::StandInGuard guard;
        otherGotIn = true;
    });
    {
        const mapisim::StandInRelease unlocked; // both levels go
        while (!otherGotIn) std::this_thread::yield();
    }
    other.join();
    mapisim::UnlockStandIn();
    mapisim::UnlockStandIn();
    // Free again for anyone.
    std::thread last([] { const mapisim::StandInGuard guard; });
    last.join();
}
