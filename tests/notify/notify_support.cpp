#include "notify_support.h"

#include <mutex>

namespace notifytest {

namespace {
std::mutex lock;
}

std::vector<Recorded>& Callbacks()
{
    static std::vector<Recorded> calls;
    return calls;
}

std::vector<Recorded> Snapshot()
{
    std::lock_guard<std::mutex> guard(lock);
    return Callbacks();
}

std::function<void(const Recorded&)>& OnCallback()
{
    static std::function<void(const Recorded&)> hook;
    return hook;
}

int32_t ORVIMAPI_CALLBACK Record(OrviMapiStore* storeHandle, uintptr_t userValue, int32_t eventCode,
                                 int32_t objectKind, uint32_t entryIdSize, unsigned char** entryId,
                                 uint32_t parentIdSize, unsigned char** parentId,
                                 uint32_t oldIdSize, unsigned char** oldId,
                                 uint32_t oldParentIdSize, unsigned char** oldParentId)
{
    Recorded r;
    r.storeHandle = storeHandle;
    r.userValue = userValue;
    r.eventCode = eventCode;
    r.objectKind = objectKind;
    const uint32_t sizes[4] = {entryIdSize, parentIdSize, oldIdSize, oldParentIdSize};
    unsigned char** pointers[4] = {entryId, parentId, oldId, oldParentId};
    for (int i = 0; i < 4; ++i) {
        r.sizes[i] = sizes[i];
        r.nullPointer[i] = *pointers[i] == nullptr;
        if (*pointers[i] != nullptr) r.ids[i].assign(*pointers[i], *pointers[i] + sizes[i]);
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        Callbacks().push_back(r);
    }
    if (OnCallback()) OnCallback()(r);
    return 12345; // ignored by the library
}

} // namespace notifytest
