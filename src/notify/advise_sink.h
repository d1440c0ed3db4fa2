// The library's one implementation of a MAPI interface: the advise sink that
// turns each MAPI notification into one call of the application's
// NotificationCallback.
#pragma once

#include <cstdint>

#include "frame/export.h"
#include "frame/platform.h"

// Event codes handed to the application.
namespace eventcode {
inline constexpr int32_t Other = 0;
inline constexpr int32_t NewMail = 1;
inline constexpr int32_t Created = 2;
inline constexpr int32_t Copied = 3;
inline constexpr int32_t Deleted = 4;
inline constexpr int32_t Modified = 5;
inline constexpr int32_t Moved = 6;
} // namespace eventcode

// Object kinds handed to the application.
namespace objectkind {
inline constexpr int32_t Other = 0;
inline constexpr int32_t Folder = 1;
inline constexpr int32_t Message = 2;
} // namespace objectkind

int32_t EventCodeOf(ULONG eventType);
int32_t ObjectKindOf(ULONG objectType);

// The fields are laid out in this order on purpose: applications written
// against the original library read them through the sink handle. The
// counts are plain, not interlocked: MAPI and the library never touch one
// sink's count from two threads at once.
class AdviseSink final : public IMAPIAdviseSink {
public:
    // A store sink: calls `callback` (may be null: notifications are then
    // dropped) with the address of storeHandle and userValue.
    static AdviseSink* ForStore(NotificationCallback callback, IMsgStore* store,
                                uintptr_t userValue);
    // A table sink: muted, it acknowledges everything and calls nobody.
    static AdviseSink* ForTable();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    ULONG STDMETHODCALLTYPE OnNotify(ULONG count, LPNOTIFICATION notifications) override;

    // Frees a sink MAPI never took (a failed advise), whatever its count.
    static void Destroy(AdviseSink* sink) { delete sink; }

    ULONG muted;
    ULONG refCount;
    NotificationCallback callback;
    IMsgStore* storeHandle;
    uintptr_t userValue;

private:
    AdviseSink(ULONG muted, NotificationCallback callback, IMsgStore* store, uintptr_t userValue)
        : muted(muted), refCount(1), callback(callback), storeHandle(store), userValue(userValue)
    {}
    ~AdviseSink() = default;

    void Deliver(const NOTIFICATION& notification);
};

inline AdviseSink* AsSink(OrviMapiSink handle) { return reinterpret_cast<AdviseSink*>(handle); }
inline OrviMapiSink ToHandle(AdviseSink* sink) { return reinterpret_cast<OrviMapiSink>(sink); }
