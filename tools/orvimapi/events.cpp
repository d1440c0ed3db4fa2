#include "events.h"

namespace orvimapi {

namespace {

const char* EventName(int32_t code)
{
    switch (code) {
        case 1:
            return "new mail";
        case 2:
            return "created";
        case 3:
            return "copied";
        case 4:
            return "deleted";
        case 5:
            return "modified";
        case 6:
            return "moved";
        default:
            return "other";
    }
}

const char* KindName(int32_t kind)
{
    switch (kind) {
        case 1:
            return "folder";
        case 2:
            return "message";
        default:
            return "object";
    }
}

} // namespace

EventWatch::EventWatch(Context& context, OrviMapiStore store, bool on, bool printNow)
    : context_(context), store_(store), printNow_(printNow)
{
    if (!on) return;
    if (OrviMapiAdviseMsgStoreCreate(store, reinterpret_cast<uintptr_t>(this), &EventWatch::Heard,
                                     &connection_, &sink_) != 0)
        Fail("cannot listen to the store's notifications");
}

EventWatch::~EventWatch()
{
    if (sink_ != nullptr) OrviMapiAdviseMsgStoreDestroy(store_, connection_, sink_);
}

int32_t ORVIMAPI_CALLBACK EventWatch::Heard(OrviMapiStore*, uintptr_t self, int32_t code,
                                            int32_t kind, uint32_t entrySize, unsigned char** entry,
                                            uint32_t parentSize, unsigned char** parent,
                                            uint32_t oldSize, unsigned char** oldEntry,
                                            uint32_t oldParentSize, unsigned char** oldParent)
{
    auto* watch = reinterpret_cast<EventWatch*>(self);
    HeardEvent event;
    event.code = code;
    event.kind = kind;
    const uint32_t sizes[4] = {entrySize, parentSize, oldSize, oldParentSize};
    unsigned char** ids[4] = {entry, parent, oldEntry, oldParent};
    // The identifiers are valid during this call only: copy them.
    for (int i = 0; i < 4; ++i)
        if (*ids[i] != nullptr) event.ids[i].assign(*ids[i], *ids[i] + sizes[i]);
    try {
        if (watch->printNow_) {
            const std::string line = watch->context_.options.json
                                         ? watch->Describe(event).dump(false)
                                         : watch->Line(event);
            watch->context_.print(line);
            std::fflush(watch->context_.out);
        } else {
            std::lock_guard<std::mutex> guard(watch->lock_);
            watch->heard_.push_back(std::move(event));
        }
    } catch (...) {
        // Nothing may cross back into the library.
    }
    return 0;
}

std::vector<HeardEvent> EventWatch::Take()
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(heard_, {});
}

void EventWatch::Print()
{
    for (const HeardEvent& event : Take())
        context_.print(context_.options.json ? Describe(event).dump(false) : "  " + Line(event));
}

Json EventWatch::TakeJson()
{
    Json list = Json::array();
    for (const HeardEvent& event : Take()) list.push(Describe(event));
    return list;
}

// A folder's name or a message's subject while the object still exists;
// its identifier in hex once it is gone.
std::string EventWatch::NameOf(const Bytes& id, int32_t kind)
{
    if (id.empty()) return "?";
    char text[256];
    uint32_t length = 0;
    const int32_t size = static_cast<int32_t>(id.size());
    const bool folder = kind == 1;
    const int32_t result =
        folder ? OrviMapiFolderGetDisplayName(store_, size, id.data(), text, sizeof text, &length)
               : OrviMapiFolderGetMsgSubject(store_, size, id.data(), text, sizeof text, &length);
    if (result == 0 && length > 0) return "\"" + std::string(text, length) + "\"";
    return Hex(id);
}

std::string EventWatch::Line(const HeardEvent& event)
{
    std::string line = std::string(EventName(event.code)) + " " +
                       KindName(event.code == 1 ? 2 : event.kind) + " " +
                       NameOf(event.ids[0], event.kind);
    if (!event.ids[1].empty()) line += " in " + NameOf(event.ids[1], 1);
    if ((event.code == 3 || event.code == 6) && !event.ids[3].empty())
        line += " from " + NameOf(event.ids[3], 1);
    return line;
}

Json EventWatch::Describe(const HeardEvent& event)
{
    Json json = Json::object();
    json.set("event", EventName(event.code));
    json.set("code", event.code);
    json.set("kind", KindName(event.kind));
    const char* names[4] = {"entryId", "parentId", "oldId", "oldParentId"};
    for (int i = 0; i < 4; ++i)
        json.set(names[i], event.ids[i].empty() ? Json() : Json(Hex(event.ids[i])));
    return json;
}

} // namespace orvimapi
