// Shared set-up of the stand-in's own tests: a small mailbox built with the
// model's builder API, owners for what MAPI hands out, and a check that a
// test leaves no object or allocation behind.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/entryid.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"

namespace standin {

using namespace mapisim::model;

template <class T>
struct Com {
    T* p = nullptr;
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() { reset(); }
    void reset()
    {
        if (p) p->Release();
        p = nullptr;
    }
    T** out()
    {
        reset();
        return &p;
    }
    LPUNKNOWN* unk() { return reinterpret_cast<LPUNKNOWN*>(out()); }
    T* operator->() const { return p; }
    T* get() const { return p; }
};

struct Rows {
    SRowSet* p = nullptr;
    ~Rows() { FreeProws(p); }
    SRowSet** out()
    {
        FreeProws(p);
        p = nullptr;
        return &p;
    }
    ULONG size() const { return p ? p->cRows : 0; }
    const SPropValue& at(ULONG row, ULONG col) const { return p->aRow[row].lpProps[col]; }
};

struct Buffer {
    void* p = nullptr;
    ~Buffer() { MAPIFreeBuffer(p); }
    template <class T>
    T* as() const
    {
        return static_cast<T*>(p);
    }
};

inline std::string text(const SPropValue& v)
{
    return PROP_TYPE(v.ulPropTag) == PT_STRING8 ? v.Value.lpszA
                                                : "<" + std::to_string(v.ulPropTag) + ">";
}

inline FileTime day(int n) { return {132000000000000000ull + 864000000000ull * n}; }

// Names and numbers of the standard mailbox's nodes.
struct Mailbox {
    std::shared_ptr<World> world;
    std::shared_ptr<Store> pst, archive;
    std::shared_ptr<Folder> top, inbox, outbox, sent, deleted, drafts, contacts, sub;
    std::vector<std::shared_ptr<Message>> mail; // the Inbox messages, in order
    std::shared_ptr<Message> hidden;            // an associated Inbox message
};

// Profile "Outlook" (default) with a Personal Folders store (default) and
// an archive of provider "Tarsk Quillbank"; profile "Work" with no stores.
Mailbox standard_mailbox();

class StandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        mapisim_reset();
        mapisim_reset_misuse_counters();
        objects_ = mapisim_live_objects();
        allocations_ = mapisim_live_allocations();
        dead_ = mapisim_dead_calls();
        box = standard_mailbox();
        install(box.world);
        ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    }

    void TearDown() override
    {
        session.reset();
        MAPIUninitialize();
        EXPECT_EQ(mapisim_live_objects(), objects_) << "objects leaked";
        EXPECT_EQ(mapisim_live_allocations(), allocations_) << "MAPI buffers leaked";
        EXPECT_EQ(mapisim_dead_calls(), dead_) << "calls on released objects";
        mapisim_reset();
    }

    void logon(const char* profile = "Outlook", ULONG flags = MAPI_EXTENDED | MAPI_NEW_SESSION)
    {
        ASSERT_EQ(MAPILogonEx(0, const_cast<LPSTR>(profile), nullptr, flags, session.out()), S_OK);
    }

    void open_store(Com<IMsgStore>& store, const Store& s)
    {
        auto eid = entryid_of_store(s);
        ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(eid.size()),
                                        reinterpret_cast<LPENTRYID>(eid.data()), nullptr,
                                        MAPI_BEST_ACCESS, store.out()),
                  S_OK);
    }

    // The long-term entry identifier GetProps gives for a node.
    Bytes entryid_of_store(const Store& s);
    Bytes entryid_of(const Store& s, const Folder& f);
    Bytes entryid_of(const Store& s, const Message& m);

    template <class T>
    void open(const Bytes& eid, Com<T>& out, ULONG expect_type, ULONG flags = MAPI_BEST_ACCESS)
    {
        ULONG type = 0;
        ASSERT_EQ(session->OpenEntry(static_cast<ULONG>(eid.size()),
                                     reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(eid.data())),
                                     nullptr, flags, &type, out.unk()),
                  S_OK);
        ASSERT_EQ(type, expect_type);
    }

    Mailbox box;
    Com<IMAPISession> session;

private:
    uint32_t objects_ = 0, allocations_ = 0, dead_ = 0;
};

// The properties of one object as GetProps returns them.
struct Props {
    SPropValue* p = nullptr;
    ULONG n = 0;
    HRESULT hr = E_FAIL;
    ~Props() { MAPIFreeBuffer(p); }
    const SPropValue& operator[](ULONG i) const { return p[i]; }
};

template <class Obj>
void get_props(Obj* obj, std::initializer_list<ULONG> tags, Props& out)
{
    std::vector<ULONG> buf{static_cast<ULONG>(tags.size())};
    buf.insert(buf.end(), tags.begin(), tags.end());
    MAPIFreeBuffer(out.p);
    out.p = nullptr;
    out.n = 0;
    out.hr = obj->GetProps(reinterpret_cast<LPSPropTagArray>(buf.data()), 0, &out.n, &out.p);
}

// A tag array in a vector, for SetColumns and HrQueryAllRows.
inline std::vector<ULONG> tags(std::initializer_list<ULONG> t)
{
    std::vector<ULONG> v{static_cast<ULONG>(t.size())};
    v.insert(v.end(), t.begin(), t.end());
    return v;
}
inline LPSPropTagArray as_tags(std::vector<ULONG>& v)
{
    return reinterpret_cast<LPSPropTagArray>(v.data());
}

} // namespace standin
