// Registering the library's advise sinks on stores and tables, and ending
// those registrations.
#include "frame/handles.h"
#include "notify/advise_sink.h"
#include "session/session_check.h"

namespace {

// Every event a store sink hears: new mail, objects created, deleted,
// modified, moved and copied, and extended events.
constexpr ULONG kStoreEventMask = fnevNewMail | fnevObjectCreated | fnevObjectDeleted |
                                  fnevObjectModified | fnevObjectMoved | fnevObjectCopied |
                                  fnevExtended;

} // namespace

// The out-arguments are checked after the documented checks: the connection
// and the sink are the only way to end the advise, so an advise nobody could
// end is refused before anything is registered.
ORVIMAPI_EXTERN(int32_t)
OrviMapiAdviseMsgStoreCreate(OrviMapiStore store, uintptr_t userValue,
                             NotificationCallback callback, int32_t* connectionOut,
                             OrviMapiSink* sinkOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(connectionOut != nullptr, "AdviseConnection not defined", -1);
    CHECK_ARG(sinkOut != nullptr, "pbAdviseSink not defined", -1);

    AdviseSink* sink = AdviseSink::ForStore(callback, AsMapi(store), userValue);
    ULONG connection = 0;
    const HRESULT hr = AsMapi(store)->Advise(0, nullptr, kStoreEventMask, sink, &connection);
    if (FAILED(hr)) {
        AdviseSink::Destroy(sink);
        return RECORD_FAILURE(nullptr, hr, -1);
    }
    *connectionOut = static_cast<int32_t>(connection);
    *sinkOut = ToHandle(sink);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiAdviseMsgStoreDestroy(OrviMapiStore store, int32_t connection, OrviMapiSink sink)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(connection > 0, "AdviseConnection not defined", -1);
    CHECK_ARG(sink != nullptr, "pbAdviseSink not defined", -1);

    IGNORE_HR(AsMapi(store)->Unadvise(static_cast<ULONG>(connection)),
              "a failed unadvise is not reported: the sink is released all the same");
    AsSink(sink)->Release();
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiAdviseTableCreate(OrviMapiTable table, int32_t* connectionOut, OrviMapiSink* sinkOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    CHECK_ARG(connectionOut != nullptr, "AdviseConnection not defined", -1);
    CHECK_ARG(sinkOut != nullptr, "pbAdviseSink not defined", -1);

    AdviseSink* sink = AdviseSink::ForTable();
    ULONG connection = 0;
    const HRESULT hr = AsMapi(table)->Advise(fnevTableModified, sink, &connection);
    if (FAILED(hr)) {
        AdviseSink::Destroy(sink);
        return RECORD_FAILURE(nullptr, hr, -1);
    }
    *connectionOut = static_cast<int32_t>(connection);
    *sinkOut = ToHandle(sink);
    return 0;
}

// Ends a table advise the way OrviMapiAdviseMsgStoreDestroy ends a store
// advise, so that a table sink need not stay registered until the table goes.
ORVIMAPI_EXTERN(int32_t)
OrviMapiAdviseTableDestroy(OrviMapiTable table, int32_t connection, OrviMapiSink sink)
{
    CHECK_SESSION(-1);
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    CHECK_ARG(connection > 0, "AdviseConnection not defined", -1);
    CHECK_ARG(sink != nullptr, "pbAdviseSink not defined", -1);

    IGNORE_HR(AsMapi(table)->Unadvise(static_cast<ULONG>(connection)),
              "a failed unadvise is not reported: the sink is released all the same");
    AsSink(sink)->Release();
    return 0;
}
