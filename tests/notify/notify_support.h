// A real NotificationCallback (stdcall where the platform has it) that
// copies what it is given, for the notification tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "OrviMapi.h"

namespace notifytest {

using Bytes = std::vector<unsigned char>;

struct Recorded {
    OrviMapiStore* storeHandle = nullptr;
    uintptr_t userValue = 0;
    int32_t eventCode = -1;
    int32_t objectKind = -1;
    uint32_t sizes[4] = {};
    Bytes ids[4];             // entry, parent, old entry, old parent
    bool nullPointer[4] = {}; // the pointer behind the argument was null
};

// What the callback was given so far, in order (single-threaded use).
std::vector<Recorded>& Callbacks();
// A copy taken under the callback's lock, for tests with a notification thread.
std::vector<Recorded> Snapshot();
// Called by Record after it has copied a call (null: nothing).
std::function<void(const Recorded&)>& OnCallback();

int32_t ORVIMAPI_CALLBACK Record(OrviMapiStore* storeHandle, uintptr_t userValue, int32_t eventCode,
                                 int32_t objectKind, uint32_t entryIdSize, unsigned char** entryId,
                                 uint32_t parentIdSize, unsigned char** parentId,
                                 uint32_t oldIdSize, unsigned char** oldId,
                                 uint32_t oldParentIdSize, unsigned char** oldParentId);

} // namespace notifytest
