// The codes by which folders are classified and looked up.
#pragma once

#include <cstdint>

namespace foldertype {
enum : int32_t {
    Other = 5,
    Inbox = 32,
    Outbox = 33,
    Wastebasket = 34,
    Appointment = 35,
    Contact = 36,
    Journal = 37,
    StickyNote = 38,
    Task = 39,
    Drafts = 40,
    SentItems = 41,
    StoreRoot = 42,
    IpmSubtree = 99,
};
}
