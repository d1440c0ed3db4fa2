// Notifications as the command shows them: an advise on a store for the
// life of an EventWatch, and one line (or JSON object) per notification.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "command.h"

namespace orvimapi {

struct HeardEvent {
    int32_t code = 0; // 1 new mail, 2 created, 3 copied, 4 deleted, 5 modified, 6 moved, 0 other
    int32_t kind = 0; // 1 folder, 2 message, 0 other
    Bytes ids[4];     // entry, parent, old entry, old parent
};

class EventWatch {
public:
    // Advises `store` when `on`; otherwise does nothing at all. With
    // `printNow` each notification is printed as it arrives (by the
    // callback itself); otherwise they are kept for Print.
    EventWatch(Context& context, OrviMapiStore store, bool on, bool printNow = false);
    ~EventWatch();
    EventWatch(const EventWatch&) = delete;
    EventWatch& operator=(const EventWatch&) = delete;

    bool on() const { return sink_ != nullptr; }
    // What was heard and not yet printed: the text lines, or with --json one
    // JSON object per line.
    void Print();
    // The same as a JSON array, for a command's own JSON result.
    Json TakeJson();

private:
    static int32_t ORVIMAPI_CALLBACK Heard(OrviMapiStore* storeHandle, uintptr_t self, int32_t code,
                                           int32_t kind, uint32_t entrySize, unsigned char** entry,
                                           uint32_t parentSize, unsigned char** parent,
                                           uint32_t oldSize, unsigned char** oldEntry,
                                           uint32_t oldParentSize, unsigned char** oldParent);
    std::vector<HeardEvent> Take();
    Json Describe(const HeardEvent& event);
    std::string Line(const HeardEvent& event);
    std::string NameOf(const Bytes& id, int32_t kind);

    Context& context_;
    OrviMapiStore store_;
    bool printNow_;
    int32_t connection_ = 0;
    OrviMapiSink sink_ = nullptr;
    std::mutex lock_; // the callback may run on the stand-in's notification thread
    std::vector<HeardEvent> heard_;
};

} // namespace orvimapi
