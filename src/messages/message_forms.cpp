// Handing a message to the MAPI client's own form: PrepareForm turns the
// message into a token, the library lets go of the message, and ShowForm
// opens the form, which from then on belongs to the client.
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "messages/message_columns.h"
#include "messages/message_lists.h"

namespace {

constexpr char kNewMessageClass[] = "IPM.Note";

// A value of the message column set by position. The long values are passed
// on whatever their tag (a missing one passes its error code, as MAPI gives
// it); only values that carry pointers are tested, so that an error value
// is never read as a pointer.
class FormValues {
public:
    FormValues(const SPropValue* props, ULONG count) : props_(props), count_(count) {}

    ULONG Long(ULONG column) const
    {
        return column < count_ ? static_cast<ULONG>(props_[column].Value.l) : 0;
    }
    const SPropValue* Tagged(ULONG column, ULONG expectedTag) const
    {
        if (column >= count_ || props_[column].ulPropTag != expectedTag) return nullptr;
        return &props_[column];
    }
    // The error a missing value carries, or MAPI_E_NOT_FOUND.
    HRESULT Missing(ULONG column) const
    {
        if (column < count_ && PROP_TYPE(props_[column].ulPropTag) == PT_ERROR &&
            FAILED(props_[column].Value.err))
            return props_[column].Value.err;
        return MAPI_E_NOT_FOUND;
    }

private:
    const SPropValue* props_;
    ULONG count_;
};

bool ShownOrCancelled(HRESULT hr) { return SUCCEEDED(hr) || hr == MAPI_E_USER_CANCEL; }

} // namespace

// A message without a parent identifier fails with the error its value
// carries; one without a text class is shown with "IPM.Note".
ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgEdit(uintptr_t hwnd, int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbMsgEid,
                const unsigned char* msgEid)
{
    CHECK_SESSION(-1);
    if (!EntryIdGiven(cbStoreEid, storeEid))
        return RECORD_FAILURE("MsgStore not defined", E_INVALIDARG, E_INVALIDARG);
    if (!EntryIdGiven(cbMsgEid, msgEid))
        return RECORD_FAILURE("Message EID not defined", E_INVALIDARG, E_INVALIDARG);

    // Freed and released in the reverse order: the property values, the
    // message (when still held), the parent folder, the store.
    ComPtr<IMsgStore> store;
    ComPtr<IMAPIFolder> parent;
    ComPtr<IMessage> message;
    MapiBuffer<SPropValue> props;
    if (const int32_t failed = OpenStoreById(cbStoreEid, storeEid, store)) return failed;

    OrviMapiMessage handle = nullptr;
    const int32_t opened =
        OrviMapiMsgStoreGetMsgInterface(ToHandle(store.get()), cbMsgEid, msgEid, &handle);
    message.reset(AsMapi(handle));
    if (opened < 0) return RECORD_FAILURE(kMessageOpenFailed, opened, opened);

    ULONG count = 0;
    HRESULT hr = message->GetProps(MessageColumns(), 0, &count, props.put());
    CHECK_HR_FETCH(hr, message.get(), hr);
    const FormValues values(props.get(), props ? count : 0);

    const SPropValue* parentId = values.Tagged(msgcol::ParentEntryId, tag::ParentEntryId);
    if (parentId == nullptr) {
        const HRESULT missing = values.Missing(msgcol::ParentEntryId);
        return RECORD_FAILURE(nullptr, missing, missing);
    }
    ULONG objectType = 0;
    hr = store->OpenEntry(parentId->Value.bin.cb,
                          reinterpret_cast<LPENTRYID>(parentId->Value.bin.lpb), nullptr,
                          flag::BestAccess, &objectType, parent.putUnknown());
    CHECK_HR_FETCH(hr, store.get(), hr);

    IMAPISession* session = Session().currentSession;
    ULONG token = 0;
    hr = session->PrepareForm(nullptr, message.get(), &token);
    CHECK_HR_FETCH(hr, session, hr);
    message.reset(); // the form holds the message now

    const SPropValue* messageClass = values.Tagged(msgcol::MessageClass, tag::MessageClass);
    const char* className = messageClass != nullptr && messageClass->Value.lpszA != nullptr
                                ? messageClass->Value.lpszA
                                : kNewMessageClass;
    hr = session->ShowForm(hwnd, store.get(), parent.get(), nullptr, token, nullptr,
                           flag::PostMessage, values.Long(msgcol::MsgStatus),
                           values.Long(msgcol::MessageFlags), values.Long(msgcol::Access),
                           const_cast<LPSTR>(className));
    if (!ShownOrCancelled(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(session, hr);
        return hr;
    }
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgEditNew(uintptr_t hwnd, OrviMapiStore store, OrviMapiFolder folder)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "pMsgStore param not defined", -1);
    CHECK_ARG(folder != nullptr, "pFolder param not defined", -1);

    ULONG status = 0, messageFlags = 0, access = 0, token = 0;
    IMAPISession* session = Session().currentSession;
    {
        // Freed and released before the form shows: the values, then the message.
        ComPtr<IMessage> message;
        MapiBuffer<SPropValue> props;
        CHECK_HR_FETCH(AsMapi(folder)->CreateMessage(nullptr, 0, message.put()), AsMapi(folder),
                       -1);
        ULONG count = 0;
        CHECK_HR_FETCH(message->GetProps(MessageColumns(), 0, &count, props.put()), message.get(),
                       -1);
        CHECK_HR_FETCH(session->PrepareForm(nullptr, message.get(), &token), session, -1);
        const FormValues values(props.get(), props ? count : 0);
        status = values.Long(msgcol::MsgStatus);
        messageFlags = values.Long(msgcol::MessageFlags);
        access = values.Long(msgcol::Access);
    }

    const HRESULT hr = session->ShowForm(hwnd, AsMapi(store), AsMapi(folder), nullptr, token,
                                         nullptr, flag::PostMessage | flag::NewMessage, status,
                                         messageFlags, access, const_cast<LPSTR>(kNewMessageClass));
    if (!ShownOrCancelled(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(session, hr);
        return -1;
    }
    return 0;
}
