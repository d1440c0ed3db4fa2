// The stand-in's notifications: who is advised (stores and tables), what a
// change raises, and how it reaches the sinks.
//
// An operation that changes a store raises its notifications after the
// model holds the change, through the functions of namespace notify:
//
//   notify::Batch batch;                        // one OnNotify per sink for the call
//   store_->detach_message(*m);
//   notify::message_deleted(*store_, *m, *folder_);
//
// Every sink advised on the store (on any IMsgStore object over it) whose
// event mask and entry identifier match hears the object notification, and
// every advised table that shows an affected row hears the table
// notification (fnevTableModified, TABLE_ROW_ADDED / DELETED / MODIFIED;
// TABLE_CHANGED for a bulk batch). Without a Batch each raise is delivered
// at once. Delivery is synchronous, inside the raising call, unless the
// notification thread is on (mapisim_set_notification_thread): then the
// sinks are called on that thread, in the order raised. A sink is never
// called after its Unadvise (or its object's last Release) has returned.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapisim/mapi/entryid.h"
#include "mapisim/model/world.h"

namespace mapisim::mapi {

// One notification as raised, before it is laid out for a sink. The
// identifiers are long-term entry identifiers of the stand-in.
struct Event {
    ULONG type = 0;        // ulEventType: fnevNewMail, fnevObjectCreated ... (any value)
    ULONG object_type = 0; // ulObjType of an object notification: MAPI_FOLDER, MAPI_MESSAGE ...
    model::Bytes entry, parent, old_entry, old_parent;
    std::string message_class; // new mail
    ULONG message_flags = 0;   // new mail
    bool associated = false;   // a folder-associated message: for the tables that show it

    // fnevTableModified
    ULONG table_event = 0; // TABLE_ROW_ADDED ...
    model::Value index;    // PR_INSTANCE_KEY of the row
    model::Value prior;    // PR_INSTANCE_KEY of the row before it, or PR_NULL
    std::vector<model::Value> row;
};

// A table that can be advised: says what a store's change means to its rows.
class TableWatch {
public:
    virtual std::vector<Event> table_events(const model::Store& store, const Event& change) = 0;

protected:
    ~TableWatch() = default;
};

// The advise registrations of one store or table object. Each holds a
// reference to its sink from Advise until Unadvise or the object's end, and
// has a connection number unique in the process (from 1, never reused).
class AdviseSinks {
public:
    // object: the store or table object the sinks are advised on.
    explicit AdviseSinks(const void* object) : object_(object) {}
    AdviseSinks(const AdviseSinks&) = delete;
    AdviseSinks& operator=(const AdviseSinks&) = delete;
    // Unadvises what is left, as MAPI does for a released object.
    ~AdviseSinks();

    // A sink on a store: on every object of it, or only on the object
    // `only` names (a folder's sink also hears about what is in it).
    ULONG add_store(std::shared_ptr<const model::Store> store, ULONG mask,
                    std::optional<EntryId> only, IMAPIAdviseSink* sink);
    ULONG add_table(TableWatch* table, ULONG mask, IMAPIAdviseSink* sink);
    // False when the connection is not one of this object's.
    bool remove(ULONG connection);
    // Unadvises every sink of the object now.
    void clear();

private:
    const void* object_;
};

namespace notify {

// Collects what the operations in its scope raise (on this thread) and
// delivers it when the outermost Batch ends: each sink gets one OnNotify
// with all of its notifications, in the order raised. A bulk batch gives
// each affected table one TABLE_CHANGED instead of row notifications.
class Batch {
public:
    explicit Batch(bool bulk = false);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
};

// Object notifications. Raise them after the model holds the change; a
// removed node keeps its number, so its identifier is still known.
void folder_created(const model::Store& store, const model::Folder& folder);
void folder_modified(const model::Store& store, const model::Folder& folder);
void folder_deleted(const model::Store& store, const model::Folder& folder,
                    const model::Folder& old_parent);
void folder_moved(const model::Store& store, const model::Folder& folder,
                  const model::Folder& old_parent);
// copy is in store; original (and its parent) in from, which may be store.
void folder_copied(const model::Store& store, const model::Folder& copy, const model::Store& from,
                   const model::Folder& original, const model::Folder& original_parent);

void message_created(const model::Store& store, const model::Message& message);
void message_modified(const model::Store& store, const model::Message& message);
void message_deleted(const model::Store& store, const model::Message& message,
                     const model::Folder& old_parent);
void message_moved(const model::Store& store, const model::Message& message,
                   const model::Folder& old_parent);
void message_copied(const model::Store& store, const model::Message& copy, const model::Store& from,
                    const model::Message& original, const model::Folder& original_parent);
// fnevNewMail for a message a transport has just placed in its folder.
void new_mail(const model::Store& store, const model::Message& message);

// Any event on a store, as given (the controls' arbitrary notifications).
void raise(const model::Store& store, Event event);

// Delivers events to every sink of one store or table object, whatever
// their masks and entry identifiers (a test's arbitrary notifications).
// False when the object has no sink.
bool raise_on_object(const void* object, std::vector<Event> events);

// Delivery on the notification thread (on) or inside the raising call
// (off, the default). Turning it off first delivers what is queued.
// False when called from the notification thread itself.
bool set_threaded(bool on);
// Waits until the notification thread has delivered everything queued.
void wait_idle();

} // namespace notify
} // namespace mapisim::mapi
