// IMsgStore, and opening a store's objects by entry identifier.

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/objects.h"

namespace mapisim::mapi {
namespace {

class StoreObject final
    : public TakesAdviseSinks<ComparesEntryIds<OpensEntries<PropObject<IMsgStore>>>> {
public:
    StoreObject(StorePtr store, bool writable) : store_(std::move(store)) { writable_ = writable; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMsgStore});
    }

    HRESULT STDMETHODCALLTYPE Advise(ULONG cb, LPENTRYID eid, ULONG mask, LPMAPIADVISESINK sink,
                                     ULONG* conn) override
    {
        Call call(&err_, kIface, "Advise");
        call.arg_hex("entryid", eid, cb).arg("mask", mask);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        // An identifier restricts the sink to that folder or message.
        std::optional<EntryId> only;
        if (sink && conn && cb) {
            auto id = decode(cb, eid);
            if (!id || id->store != store_->number())
                return call.fail(MAPI_E_INVALID_ENTRYID, "not an entry of this store");
            if (id->kind == Kind::Folder || id->kind == Kind::Message) only = id;
        }
        return add_sink(sink, conn, call, [&](AdviseSinks& sinks, LPMAPIADVISESINK s) {
            return sinks.add_store(store_, mask, only, s);
        });
    }

    HRESULT STDMETHODCALLTYPE SetReceiveFolder(LPSTR cls, ULONG flags, ULONG cb,
                                               LPENTRYID eid) override
    {
        Call call(&err_, kIface, "SetReceiveFolder", flags);
        call.arg("class", cls);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (flags & MAPI_UNICODE) return call.fail(MAPI_E_BAD_CHARWIDTH, "8-bit classes only");
        auto id = decode(cb, eid);
        if (!id || id->kind != Kind::Folder || id->store != store_->number())
            return call.fail(MAPI_E_INVALID_ENTRYID, "not a folder of this store");
        auto f = store_->find_folder(id->number);
        if (!f) return call.fail(MAPI_E_NOT_FOUND, "no such folder");
        store_->set_receive_folder(cls ? cls : "", *f);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetReceiveFolder(LPSTR cls, ULONG flags, ULONG* cb, LPENTRYID* eid,
                                               LPSTR* explicit_class) override
    {
        Call call(&err_, kIface, "GetReceiveFolder", flags);
        call.arg("class", cls);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!cb || !eid) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (flags & MAPI_UNICODE) return call.fail(MAPI_E_BAD_CHARWIDTH, "8-bit classes only");
        auto [number, matched] = store_->receive_folder(cls ? cls : "");
        if (!number || !store_->find_folder(number))
            return call.fail(MAPI_E_NOT_FOUND, "no receive folder for the class");
        const model::Bytes bytes = encode({Kind::Folder, store_->number(), number, false});
        void* p = nullptr;
        HRESULT hr = alloc_bytes(bytes.data(), bytes.size(), nullptr, &p);
        if (FAILED(hr)) return call.fail(hr, "out of memory");
        MapiPtr<void> hold(p);
        if (explicit_class) {
            char* text = nullptr;
            if (FAILED(hr = alloc_text(matched, nullptr, &text)))
                return call.fail(hr, "out of memory");
            *explicit_class = text;
        }
        *cb = static_cast<ULONG>(bytes.size());
        *eid = static_cast<LPENTRYID>(hold.release());
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetReceiveFolderTable(ULONG flags, LPMAPITABLE*) override
    {
        return unsupported("GetReceiveFolderTable", flags);
    }

    HRESULT STDMETHODCALLTYPE StoreLogoff(ULONG* flags) override
    {
        return logged_only("StoreLogoff", flags ? *flags : 0);
    }

    HRESULT STDMETHODCALLTYPE AbortSubmit(ULONG, LPENTRYID, ULONG flags) override
    {
        return unsupported("AbortSubmit", flags);
    }
    HRESULT STDMETHODCALLTYPE GetOutgoingQueue(ULONG flags, LPMAPITABLE*) override
    {
        return unsupported("GetOutgoingQueue", flags);
    }
    HRESULT STDMETHODCALLTYPE SetLockState(LPMESSAGE, ULONG) override
    {
        return unsupported("SetLockState", 0);
    }
    HRESULT STDMETHODCALLTYPE FinishedMsg(ULONG flags, ULONG, LPENTRYID) override
    {
        return unsupported("FinishedMsg", flags);
    }
    HRESULT STDMETHODCALLTYPE NotifyNewMail(LPNOTIFICATION) override
    {
        return unsupported("NotifyNewMail", 0);
    }

protected:
    const char* iface() const override { return kIface; }
    std::optional<Value> read(ULONG tag) override { return store_prop(*store_, tag); }
    std::vector<ULONG> list() override { return store_tags(*store_); }
    void write(Value v) override { store_->props.set(std::move(v)); }
    void remove(ULONG tag) override { store_->props.erase(tag); }
    model::NameMap* names() override { return &store_->names; }
    HRESULT open_entry(ULONG cb, const ENTRYID* eid, LPCIID iid, ULONG flags, ULONG* type,
                       LPUNKNOWN* out, Call&) override
    {
        return open_in_store(store_, this, cb, eid, iid, flags, type, out);
    }

private:
    static constexpr const char* kIface = "IMsgStore";

public:
    const StorePtr& store() const { return store_; }

private:
    StorePtr store_;
};

} // namespace

IMsgStore* new_store(StorePtr store, bool writable)
{
    return new StoreObject(std::move(store), writable);
}

StorePtr store_of_store_object(void* object)
{
    auto* s = dynamic_cast<StoreObject*>(static_cast<IMsgStore*>(object));
    return s ? s->store() : nullptr;
}

HRESULT hand_out(IUnknown* obj, LPCIID iid, LPUNKNOWN* out)
{
    if (!iid) {
        *out = obj;
        return S_OK;
    }
    void* p = nullptr;
    HRESULT hr = obj->QueryInterface(*iid, &p);
    obj->Release();
    if (FAILED(hr)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    *out = static_cast<LPUNKNOWN>(p);
    return S_OK;
}

HRESULT open_in_store(const StorePtr& store, IMsgStore* self, ULONG cb, const ENTRYID* eid,
                      LPCIID iid, ULONG flags, ULONG* type, LPUNKNOWN* out)
{
    const bool write = wants_write(flags);
    if (cb == 0 || !eid) {
        // No identifier: the store's root folder.
        *type = MAPI_FOLDER;
        return hand_out(new_folder(store, store->root(), write), iid, out);
    }
    auto id = decode(cb, eid);
    if (!id) return MAPI_E_INVALID_ENTRYID;
    if (id->store != store->number() ||
        (id->kind != Kind::Store && id->kind != Kind::Folder && id->kind != Kind::Message))
        return MAPI_E_INVALID_ENTRYID;
    switch (id->kind) {
        case Kind::Store: {
            *type = MAPI_STORE;
            if (self) {
                self->AddRef();
                return hand_out(self, iid, out);
            }
            return hand_out(new_store(store, write), iid, out);
        }
        case Kind::Folder: {
            auto f = store->find_folder(id->number);
            if (!f) return MAPI_E_NOT_FOUND;
            *type = MAPI_FOLDER;
            return hand_out(new_folder(store, f, write), iid, out);
        }
        default: {
            auto m = store->find_message(id->number);
            if (!m) return MAPI_E_NOT_FOUND;
            *type = MAPI_MESSAGE;
            return hand_out(new_message({store, m, nullptr, write, false, false}), iid, out);
        }
    }
}

HRESULT compare_entry_ids(ULONG cb1, const ENTRYID* e1, ULONG cb2, const ENTRYID* e2, ULONG* result)
{
    if (!result) return MAPI_E_INVALID_PARAMETER;
    auto a = decode(cb1, e1);
    auto b = decode(cb2, e2);
    if (!a || !b) return MAPI_E_UNKNOWN_ENTRYID;
    *result = *a == *b ? TRUE : FALSE;
    return S_OK;
}

} // namespace mapisim::mapi
