// Factories of the stand-in's MAPI objects and what they share.
//
// Every factory returns a new object holding one reference. Objects keep
// the model nodes they work on (shared_ptr), never raw pointers into the
// model, so they stay safe when the tree or the whole world changes.
#pragma once

#include <memory>

#include "mapisim/mapi/base.h"
#include "mapisim/mapi/table.h"

namespace mapisim::mapi {

using ProfilePtr = std::shared_ptr<model::Profile>;
using StorePtr = std::shared_ptr<model::Store>;
using FolderPtr = std::shared_ptr<model::Folder>;
using MessagePtr = std::shared_ptr<model::Message>;

IMsgStore* new_store(StorePtr store, bool writable);
IMAPIFolder* new_folder(StorePtr store, FolderPtr folder, bool writable);

struct MessageOpen {
    StorePtr store; // null only for messages outside any store
    MessagePtr message;
    FolderPtr parent; // where a new message goes when saved
    bool writable = false;
    bool created = false;  // not yet saved into parent
    bool embedded = false; // lives inside an attachment
};
IMessage* new_message(MessageOpen open);

IMAPIStatus* new_status(model::PropertyBag row);
IAddrBook* new_address_book(ProfilePtr profile);
IProfAdmin* new_prof_admin();

// OpenEntry within a store, shared by IMsgStore, IMAPIFolder and the
// session. self is the store object when the caller is one (its own entry
// identifier opens it again); null otherwise. Logs nothing itself.
HRESULT open_in_store(const StorePtr& store, IMsgStore* self, ULONG cb, const ENTRYID* eid,
                      LPCIID iid, ULONG flags, ULONG* type, LPUNKNOWN* out);

// Hands out obj (one reference) as iid: S_OK with *out set, or
// E_NOINTERFACE after releasing it.
HRESULT hand_out(IUnknown* obj, LPCIID iid, LPUNKNOWN* out);

// Rows of the session's status table for a profile.
std::vector<model::PropertyBag> status_rows(const model::Profile& profile);

// A table over a fixed list of bags (store, status, profile tables ...).
IMAPITable* new_bag_table(std::vector<model::PropertyBag> rows, std::vector<ULONG> columns,
                          ULONG flags);

// The contents and hierarchy tables of a folder.
IMAPITable* new_contents_table(StorePtr store, FolderPtr folder, ULONG flags);
IMAPITable* new_hierarchy_table(StorePtr store, FolderPtr folder, ULONG flags);

// Access an OpenEntry's flags ask for.
inline bool wants_write(ULONG flags) { return flags & (MAPI_MODIFY | MAPI_BEST_ACCESS); }

// Whether the store pointer is one of the stand-in's store objects, and
// its model store (the destination of CopyMessages / CopyFolder).
StorePtr store_of_folder_object(void* folder_object, FolderPtr* folder);
// The same for the stand-in's store and message objects; null for others.
StorePtr store_of_store_object(void* store_object);
MessagePtr message_of_object(IMessage* message_object);

} // namespace mapisim::mapi
