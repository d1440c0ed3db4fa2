#include "notify/advise_sink.h"

#include "frame/mapi_constants.h"

namespace {

constexpr ULONG kMapiFolder = 3;
constexpr ULONG kMapiMessage = 5;

unsigned char* Bytes(LPENTRYID entryId) { return reinterpret_cast<unsigned char*>(entryId); }

} // namespace

int32_t EventCodeOf(ULONG eventType)
{
    switch (eventType) {
        case fnevNewMail:
            return eventcode::NewMail;
        case fnevObjectCreated:
            return eventcode::Created;
        case fnevObjectCopied:
            return eventcode::Copied;
        case fnevObjectDeleted:
            return eventcode::Deleted;
        case fnevObjectModified:
            return eventcode::Modified;
        case fnevObjectMoved:
            return eventcode::Moved;
        default:
            return eventcode::Other;
    }
}

int32_t ObjectKindOf(ULONG objectType)
{
    switch (objectType) {
        case kMapiFolder:
            return objectkind::Folder;
        case kMapiMessage:
            return objectkind::Message;
        default:
            return objectkind::Other;
    }
}

AdviseSink* AdviseSink::ForStore(NotificationCallback callback, IMsgStore* store,
                                 uintptr_t userValue)
{
    return new AdviseSink(0, callback, store, userValue);
}

AdviseSink* AdviseSink::ForTable() { return new AdviseSink(1, nullptr, nullptr, 0); }

HRESULT STDMETHODCALLTYPE AdviseSink::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != guid::IidIMAPIAdviseSink && riid != guid::IidIUnknown) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE AdviseSink::AddRef() { return ++refCount; }

ULONG STDMETHODCALLTYPE AdviseSink::Release()
{
    const ULONG left = --refCount;
    if (left == 0) delete this;
    return left;
}

ULONG STDMETHODCALLTYPE AdviseSink::OnNotify(ULONG count, LPNOTIFICATION notifications)
{
    if (muted != 0 || count == 0 || notifications == nullptr) return S_OK;
    for (ULONG i = 0; i < count; ++i) {
        if (callback == nullptr) continue;
        Deliver(notifications[i]);
    }
    return S_OK;
}

// The identifier pointers are copied into variables of this call's own: the
// application gets their addresses, and a sink called on two threads at once
// keeps each call's pointers apart.
void AdviseSink::Deliver(const NOTIFICATION& notification)
{
    const int32_t eventCode = EventCodeOf(notification.ulEventType);
    int32_t objectKind = objectkind::Message;
    uint32_t entrySize = 0, parentSize = 0, oldSize = 0, oldParentSize = 0;
    unsigned char* entry = nullptr;
    unsigned char* parent = nullptr;
    unsigned char* oldEntry = nullptr;
    unsigned char* oldParent = nullptr;
    if (eventCode == eventcode::NewMail) {
        const NEWMAIL_NOTIFICATION& mail = notification.info.newmail;
        entrySize = mail.cbEntryID;
        entry = Bytes(mail.lpEntryID);
        parentSize = mail.cbParentID;
        parent = Bytes(mail.lpParentID);
    } else {
        // Every other event, known or not, is read at the object
        // notification's positions of the union.
        const OBJECT_NOTIFICATION& object = notification.info.obj;
        objectKind = ObjectKindOf(object.ulObjType);
        entrySize = object.cbEntryID;
        entry = Bytes(object.lpEntryID);
        parentSize = object.cbParentID;
        parent = Bytes(object.lpParentID);
        oldSize = object.cbOldID;
        oldEntry = Bytes(object.lpOldID);
        oldParentSize = object.cbOldParentID;
        oldParent = Bytes(object.lpOldParentID);
    }
    callback(reinterpret_cast<OrviMapiStore*>(&storeHandle), userValue, eventCode, objectKind,
             entrySize, &entry, parentSize, &parent, oldSize, &oldEntry, oldParentSize, &oldParent);
}
