// IMAPIFolder and the folder tables.
#include <algorithm>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/notify.h"
#include "mapisim/mapi/objects.h"
#include "mapisim/mapi/stream.h"
#include "mapisim/text/text.h"

namespace mapisim::mapi {

using model::Folder;
using model::Message;

namespace {

constexpr ULONG CONVENIENT_DEPTH_ = 0x00000001;

// A contents row. A folder's rows are made all at once whenever the model
// has changed, so they sit side by side in one block (MessageRows) and
// borrow the store, folder and message rather than holding references:
// the table's source holds the store and folder, the folder its messages,
// and the table makes its rows afresh after any change before reading them.
class MessageRow final : public Row {
public:
    MessageRow(const model::Store& s, const model::Folder& f, const Message& m)
        : store_(&s), folder_(&f), msg_(&m)
    {
        key = msg_->number();
    }
    std::optional<Value> get(ULONG tag) const override
    {
        return message_prop(store_, folder_, *msg_, msg_->props, tag);
    }
    const Value* stored(ULONG tag) const override { return stored_message_value(msg_->props, tag); }
    void stored_each(const ULONG* tags, const std::vector<std::uint32_t>& order,
                     const Value** out) const override
    {
        stored_message_values(msg_->props, tags, order, out);
    }
    std::optional<Value> get_unstored(ULONG tag) const override
    {
        return computed_message_prop(store_, folder_, *msg_, msg_->props, tag);
    }
    Computed computed_out(ULONG tag, std::uint32_t limit, OutValue& out) const override
    {
        if (!is_computed_message_prop(tag)) return Computed::Missing;
        return computed_message_out(store_, folder_, *msg_, msg_->props, tag, limit, out);
    }

private:
    const model::Store* store_;
    const model::Folder* folder_;
    const Message* msg_;
};

class FolderRow final : public Row {
public:
    FolderRow(StorePtr s, FolderPtr f, ULONG depth)
        : store_(std::move(s)), folder_(std::move(f)), depth_(depth)
    {
        key = folder_->number();
    }
    std::optional<Value> get(ULONG tag) const override
    {
        if (PROP_ID(tag) == PROP_ID(PR_DEPTH))
            return Value::i4(PR_DEPTH, static_cast<std::int32_t>(depth_));
        return folder_prop(*store_, *folder_, tag);
    }

private:
    StorePtr store_;
    FolderPtr folder_;
    ULONG depth_;
};

bool is_within(const Folder& f, const Folder& ancestor);

// The number of the folder or message an identifier of a notification names
// in store; empty when it names nothing there.
std::optional<std::uint32_t> number_in(const model::Store& store, const model::Bytes& bytes,
                                       Kind kind)
{
    if (bytes.empty()) return std::nullopt;
    auto id = decode(static_cast<ULONG>(bytes.size()), bytes.data());
    if (!id || id->kind != kind || id->store != store.number()) return std::nullopt;
    return id->number;
}

// The rows of one folder of a store; the table's calls fail once the
// folder is deleted.
class FolderSource : public RowSource {
public:
    FolderSource(StorePtr s, FolderPtr f) : store_(std::move(s)), folder_(std::move(f)) {}
    HRESULT rows(std::vector<RowPtr>& out) final
    {
        if (!store_->contains(*folder_)) return MAPI_E_OBJECT_DELETED;
        add_rows(out);
        return S_OK;
    }

protected:
    virtual void add_rows(std::vector<RowPtr>& out) const = 0;

    StorePtr store_;
    FolderPtr folder_;
};

class ContentsSource final : public FolderSource {
public:
    ContentsSource(StorePtr s, FolderPtr f, bool assoc)
        : FolderSource(std::move(s), std::move(f)), assoc_(assoc)
    {}
    RowChanges changes_for(const model::Store& store, const Event& e) const override
    {
        RowChanges out;
        if (&store != store_.get() || e.object_type != MAPI_MESSAGE || e.associated != assoc_)
            return out;
        const auto message = number_in(store, e.entry, Kind::Message);
        if (!message) return out;
        const bool here = number_in(store, e.parent, Kind::Folder) == folder_->number();
        const bool was_here = number_in(store, e.old_parent, Kind::Folder) == folder_->number();
        switch (e.type) {
            case fnevObjectCreated:
            case fnevObjectCopied:
                if (here) out.added.push_back(*message);
                break;
            case fnevObjectDeleted:
                if (here) out.deleted.push_back(*message);
                break;
            case fnevObjectModified:
                if (here) out.modified.push_back(*message);
                break;
            case fnevObjectMoved:
                if (was_here && !here) out.deleted.push_back(*message);
                if (here && !was_here) out.added.push_back(*message);
                break;
            default:
                break;
        }
        return out;
    }
    std::vector<ULONG> columns() const override
    {
        return {PR_ENTRYID,
                PR_INSTANCE_KEY,
                PR_SUBJECT_A,
                PR_MESSAGE_CLASS_A,
                PR_MESSAGE_FLAGS,
                PR_MESSAGE_SIZE,
                PR_MESSAGE_DELIVERY_TIME,
                PR_SENDER_NAME_A,
                PR_DISPLAY_TO_A,
                PR_HASATTACH,
                PR_IMPORTANCE};
    }

private:
    void add_rows(std::vector<RowPtr>& out) const override
    {
        const auto& messages = folder_->messages();
        // One block for all the rows, each RowPtr sharing it: reserved first,
        // since the rows must not move once handed out.
        auto block = std::make_shared<std::vector<MessageRow>>();
        block->reserve(messages.size());
        out.reserve(out.size() + messages.size());
        for (auto& m : messages)
            if (m->associated == assoc_) {
                block->emplace_back(*store_, *folder_, *m);
                out.emplace_back(block, &block->back());
            }
    }

    bool assoc_;
};

class HierarchySource final : public FolderSource {
public:
    HierarchySource(StorePtr s, FolderPtr f, bool deep)
        : FolderSource(std::move(s), std::move(f)), deep_(deep)
    {}
    RowChanges changes_for(const model::Store& store, const Event& e) const override
    {
        RowChanges out;
        if (&store != store_.get()) return out;
        const auto parent = number_in(store, e.parent, Kind::Folder);
        const auto old_parent = number_in(store, e.old_parent, Kind::Folder);
        // A folder whose counts or subfolder flag changed with what it holds.
        auto touch_row = [&](const std::optional<std::uint32_t>& n) {
            if (n && is_row(*n)) out.modified.push_back(*n);
        };
        if (e.object_type == MAPI_MESSAGE) {
            if (e.type == fnevNewMail) return out; // the created notification says it
            touch_row(parent);
            if (old_parent != parent) touch_row(old_parent);
            return out;
        }
        const auto folder = number_in(store, e.entry, Kind::Folder);
        if (e.object_type != MAPI_FOLDER || !folder) return out;
        const bool under_new = parent && lists_children_of(*parent);
        const bool under_old = old_parent && lists_children_of(*old_parent);
        switch (e.type) {
            case fnevObjectModified:
                touch_row(folder);
                return out;
            case fnevObjectCreated:
                if (under_new) out.added.push_back(*folder);
                break;
            case fnevObjectCopied:
            case fnevObjectDeleted:
            case fnevObjectMoved:
                // In a deep table a whole subtree comes or goes.
                if (deep_ && (under_new || under_old)) {
                    out.whole = true;
                    return out;
                }
                if (e.type == fnevObjectDeleted) {
                    if (under_new) out.deleted.push_back(*folder);
                } else if (e.type == fnevObjectCopied) {
                    if (under_new) out.added.push_back(*folder);
                } else {
                    if (under_old && !under_new) out.deleted.push_back(*folder);
                    if (under_new && !under_old) out.added.push_back(*folder);
                }
                break;
            default:
                return out;
        }
        touch_row(parent);
        if (old_parent != parent) touch_row(old_parent);
        return out;
    }
    std::vector<ULONG> columns() const override
    {
        return {PR_ENTRYID,           PR_INSTANCE_KEY,   PR_DISPLAY_NAME_A,
                PR_CONTENT_COUNT,     PR_CONTENT_UNREAD, PR_SUBFOLDERS,
                PR_CONTAINER_CLASS_A, PR_DEPTH,          PR_FOLDER_TYPE};
    }

private:
    void add_rows(std::vector<RowPtr>& out) const override { add(*folder_, 1, out); }
    // Whether the folder numbered n is one of this table's rows.
    bool is_row(std::uint32_t n) const
    {
        auto f = store_->find_folder(n);
        if (!f || f == folder_) return false;
        return deep_ ? is_within(*f, *folder_) : f->parent() == folder_;
    }
    // Whether this table shows the subfolders of the folder numbered n.
    bool lists_children_of(std::uint32_t n) const
    {
        return n == folder_->number() || (deep_ && is_row(n));
    }

    void add(const Folder& f, ULONG depth, std::vector<RowPtr>& out) const
    {
        for (auto& sub : f.subfolders()) {
            out.push_back(std::make_shared<FolderRow>(store_, sub, depth));
            if (deep_ && depth < 1000) add(*sub, depth + 1, out);
        }
    }

    bool deep_;
};

class BagSource final : public RowSource {
public:
    BagSource(std::vector<model::PropertyBag> rows, std::vector<ULONG> columns)
        : columns_(std::move(columns))
    {
        std::uint64_t key = 1;
        for (auto& r : rows) rows_.push_back(std::make_shared<BagRow>(std::move(r), key++));
    }
    HRESULT rows(std::vector<RowPtr>& out) override
    {
        out.assign(rows_.begin(), rows_.end());
        return S_OK;
    }
    std::vector<ULONG> columns() const override { return columns_; }

private:
    std::vector<RowPtr> rows_;
    std::vector<ULONG> columns_;
};

// Named properties are per store: identifiers of one store mean nothing in
// another, so a message crossing stores takes its names along.
void remap_bag(model::PropertyBag& bag, model::Store& from, model::Store& to)
{
    model::PropertyBag out;
    for (auto& [id, v] : bag) {
        if (id < 0x8000) {
            out.set(v);
            continue;
        }
        const model::NamedId* name = from.names.name_of(id);
        if (!name) continue;
        const ULONG tag = to.named_tag(*name, v.type());
        if (tag != PR_NULL) out.set(v.with_id(PROP_ID(tag)));
    }
    bag = std::move(out);
}

void remap_message(Message& m, model::Store& from, model::Store& to)
{
    remap_bag(m.props, from, to);
    for (auto& r : m.recipients) remap_bag(r.props, from, to);
    for (auto& a : m.attachments) {
        remap_bag(a.props, from, to);
        if (a.embedded) remap_message(*a.embedded, from, to);
    }
}

void remap_folder(Folder& f, model::Store& from, model::Store& to)
{
    remap_bag(f.props, from, to);
    for (auto& m : f.messages()) remap_message(*m, from, to);
    for (auto& sub : f.subfolders()) remap_folder(*sub, from, to);
}

// A folder name passed with or without MAPI_UNICODE; empty when null.
std::optional<std::string> name_arg(const void* p, ULONG flags)
{
    if (!p) return std::nullopt;
    if (flags & MAPI_UNICODE) {
        std::u16string w;
        for (auto* c = static_cast<const WCHAR*>(p); *c; ++c) w.push_back(*c);
        return text::utf16_to_cp1252(w);
    }
    return std::string(static_cast<const char*>(p));
}

bool is_within(const Folder& f, const Folder& ancestor)
{
    for (auto cur = f.shared_from_this(); cur; cur = cur->parent())
        if (cur.get() == &ancestor) return true;
    return false;
}

class FolderObject final : public OpensEntries<PropObject<IMAPIFolder>> {
public:
    FolderObject(StorePtr store, FolderPtr folder, bool writable)
        : store_(std::move(store)), folder_(std::move(folder))
    {
        writable_ = writable;
    }

    const StorePtr& store() const { return store_; }
    const FolderPtr& folder() const { return folder_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out,
                     {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIContainer, &IID_IMAPIFolder});
    }

    HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, kIface, "GetContentsTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        *out = new_contents_table(store_, folder_, flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, kIface, "GetHierarchyTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        *out = new_hierarchy_table(store_, folder_, flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG flags) override
    {
        return unsupported("SetSearchCriteria", flags);
    }
    HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG flags, LPSRestriction*, LPENTRYLIST*,
                                                ULONG*) override
    {
        return unsupported("GetSearchCriteria", flags);
    }

    HRESULT STDMETHODCALLTYPE CreateMessage(LPCIID iid, ULONG flags, LPMESSAGE* out) override
    {
        Call call(&err_, kIface, "CreateMessage", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        auto msg = std::make_shared<Message>();
        msg->associated = flags & MAPI_ASSOCIATED;
        const model::FileTime t = now();
        msg->props.set(Value::i4(PR_MESSAGE_FLAGS, MSGFLAG_UNSENT | MSGFLAG_READ));
        msg->props.set(Value::systime(PR_CREATION_TIME, t));
        msg->props.set(Value::systime(PR_LAST_MODIFICATION_TIME, t));
        IMessage* m = new_message({store_, msg, folder_, true, true, false});
        LPUNKNOWN unk = nullptr;
        if (HRESULT hr = hand_out(m, iid, &unk); FAILED(hr)) return call.fail(hr, "bad interface");
        *out = static_cast<LPMESSAGE>(unk);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE CopyMessages(LPENTRYLIST list, LPCIID, LPVOID dest, MAPIDEFS_UIPARAM,
                                           LPMAPIPROGRESS, ULONG flags) override
    {
        Call call(&err_, kIface, "CopyMessages", flags);
        call.arg("count", list ? list->cValues : 0);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!list || (list->cValues && !list->lpbin) || list->cValues > kMaxItems || !dest)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no list or no destination");
        FolderPtr target;
        StorePtr target_store = store_of_folder_object(dest, &target);
        if (!target_store)
            return call.fail(MAPI_E_INVALID_PARAMETER, "the destination is no folder");
        if (!target_store->contains(*target))
            return call.fail(MAPI_E_NOT_FOUND, "the destination was deleted");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        notify::Batch batch;
        bool partial = false;
        for (ULONG i = 0; i < list->cValues; ++i) {
            MessagePtr m = own_message(list->lpbin[i]);
            if (!m) {
                partial = true;
                continue;
            }
            const bool move = flags & MESSAGE_MOVE;
            if (move && target_store == store_) {
                store_->detach_message(*m);
                store_->attach_message(*target, m);
                notify::message_moved(*store_, *m, *folder_);
                continue;
            }
            // Across stores a move is a copy in one and a deletion in the other.
            auto copy = m->clone();
            if (target_store != store_) remap_message(*copy, *store_, *target_store);
            target_store->attach_message(*target, copy);
            notify::message_copied(*target_store, *copy, *store_, *m, *folder_);
            if (move) {
                store_->detach_message(*m);
                notify::message_deleted(*store_, *m, *folder_);
            }
        }
        return call.done(partial ? MAPI_W_PARTIAL_COMPLETION : S_OK);
    }

    HRESULT STDMETHODCALLTYPE DeleteMessages(LPENTRYLIST list, MAPIDEFS_UIPARAM, LPMAPIPROGRESS,
                                             ULONG flags) override
    {
        Call call(&err_, kIface, "DeleteMessages", flags);
        call.arg("count", list ? list->cValues : 0);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!list || (list->cValues && !list->lpbin) || list->cValues > kMaxItems)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no list");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        notify::Batch batch;
        bool partial = false;
        for (ULONG i = 0; i < list->cValues; ++i) {
            MessagePtr m = own_message(list->lpbin[i]);
            if (!m) {
                partial = true;
                continue;
            }
            store_->detach_message(*m);
            notify::message_deleted(*store_, *m, *folder_);
        }
        return call.done(partial ? MAPI_W_PARTIAL_COMPLETION : S_OK);
    }

    HRESULT STDMETHODCALLTYPE CreateFolder(ULONG type, LPSTR name_in, LPSTR comment_in, LPCIID iid,
                                           ULONG flags, LPMAPIFOLDER* out) override
    {
        Call call(&err_, kIface, "CreateFolder", flags);
        const auto name = name_arg(name_in, flags);
        const auto comment = name_arg(comment_in, flags);
        call.arg("type", type).arg("name", name ? name->c_str() : nullptr);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (!name || name->empty()) return call.fail(MAPI_E_INVALID_PARAMETER, "no folder name");
        if (type == FOLDER_SEARCH) return call.fail(MAPI_E_NO_SUPPORT, "no search folders");
        if (type != FOLDER_GENERIC) return call.fail(MAPI_E_INVALID_PARAMETER, "bad folder type");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        FolderPtr f = folder_->find_subfolder(*name);
        if (f && !(flags & OPEN_IF_EXISTS))
            return call.fail(MAPI_E_COLLISION,
                             "a subfolder has the name '" + f->display_name() + "'");
        if (!f) {
            f = store_->add_folder(*folder_, *name);
            if (comment && !comment->empty()) f->props.set(Value::string8(PR_COMMENT_A, *comment));
            notify::folder_created(*store_, *f);
        }
        LPUNKNOWN unk = nullptr;
        if (HRESULT hr = hand_out(new_folder(store_, f, true), iid, &unk); FAILED(hr))
            return call.fail(hr, "bad interface");
        *out = static_cast<LPMAPIFOLDER>(unk);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE CopyFolder(ULONG cb, LPENTRYID eid, LPCIID, LPVOID dest,
                                         LPSTR new_name_in, MAPIDEFS_UIPARAM, LPMAPIPROGRESS,
                                         ULONG flags) override
    {
        Call call(&err_, kIface, "CopyFolder", flags);
        const auto new_name = name_arg(new_name_in, flags);
        call.arg_hex("entryid", eid, cb).arg("name", new_name ? new_name->c_str() : nullptr);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!dest) return call.fail(MAPI_E_INVALID_PARAMETER, "no destination");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        FolderPtr source;
        if (HRESULT h = own_subfolder(cb, eid, source); FAILED(h))
            return call.fail(h, "the entry is no subfolder of this folder");
        FolderPtr target;
        StorePtr target_store = store_of_folder_object(dest, &target);
        if (!target_store)
            return call.fail(MAPI_E_INVALID_PARAMETER, "the destination is no folder");
        if (!target_store->contains(*target))
            return call.fail(MAPI_E_NOT_FOUND, "the destination was deleted");
        if (target_store == store_ && is_within(*target, *source))
            return call.fail(MAPI_E_FOLDER_CYCLE, "the destination lies within the folder");
        const std::string name =
            new_name && !new_name->empty() ? *new_name : source->display_name();
        const bool move = flags & FOLDER_MOVE;
        // A folder moved onto its own name (a rename in place) meets only itself.
        FolderPtr clash = target->find_subfolder(name);
        if (clash && !(move && clash == source))
            return call.fail(MAPI_E_COLLISION,
                             "the destination has a subfolder '" + clash->display_name() + "'");
        notify::Batch batch;
        if (move && target_store == store_) {
            store_->detach_folder(*source);
            source->props.set(Value::string8(PR_DISPLAY_NAME_A, name));
            store_->attach_folder(*target, source);
            notify::folder_moved(*store_, *source, *folder_);
            return call.done(S_OK);
        }
        auto copy = source->clone(flags & COPY_SUBFOLDERS || move);
        copy->props.set(Value::string8(PR_DISPLAY_NAME_A, name));
        if (target_store != store_) remap_folder(*copy, *store_, *target_store);
        target_store->attach_folder(*target, copy);
        notify::folder_copied(*target_store, *copy, *store_, *source, *folder_);
        if (move) {
            store_->detach_folder(*source);
            notify::folder_deleted(*store_, *source, *folder_);
        }
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE DeleteFolder(ULONG cb, LPENTRYID eid, MAPIDEFS_UIPARAM,
                                           LPMAPIPROGRESS, ULONG flags) override
    {
        Call call(&err_, kIface, "DeleteFolder", flags);
        call.arg_hex("entryid", eid, cb);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        FolderPtr victim;
        if (HRESULT h = own_subfolder(cb, eid, victim); FAILED(h))
            return call.fail(h, "the entry is no subfolder of this folder");
        if (!victim->messages().empty() && !(flags & DEL_MESSAGES))
            return call.fail(MAPI_E_HAS_MESSAGES, "the folder holds messages");
        if (!victim->subfolders().empty() && !(flags & DEL_FOLDERS))
            return call.fail(MAPI_E_HAS_FOLDERS, "the folder has subfolders");
        const std::uint32_t n = victim->number();
        if (n == store_->ipm_subtree || n == store_->outbox || n == store_->wastebasket ||
            n == store_->sentmail || n == store_->receive_folder("").first)
            return call.fail(MAPI_E_NO_ACCESS, "a special folder of the store");
        store_->detach_folder(*victim);
        notify::folder_deleted(*store_, *victim, *folder_);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetReadFlags(LPENTRYLIST list, MAPIDEFS_UIPARAM, LPMAPIPROGRESS,
                                           ULONG flags) override
    {
        Call call(&err_, kIface, "SetReadFlags", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (list && ((list->cValues && !list->lpbin) || list->cValues > kMaxItems))
            return call.fail(MAPI_E_INVALID_PARAMETER, "bad list");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        std::vector<MessagePtr> targets;
        bool partial = false;
        if (!list) {
            for (auto& m : folder_->messages())
                if (!m->associated) targets.push_back(m);
        } else {
            for (ULONG i = 0; i < list->cValues; ++i) {
                if (auto m = own_message(list->lpbin[i]))
                    targets.push_back(m);
                else
                    partial = true;
            }
        }
        notify::Batch batch;
        for (auto& m : targets) {
            ULONG f = static_cast<ULONG>(m->props.i4(PR_MESSAGE_FLAGS).value_or(0));
            f = (flags & CLEAR_READ_FLAG) ? f & ~MSGFLAG_READ : f | MSGFLAG_READ;
            m->props.set(Value::i4(PR_MESSAGE_FLAGS, static_cast<std::int32_t>(f)));
            notify::message_modified(*store_, *m);
        }
        return call.done(partial ? MAPI_W_PARTIAL_COMPLETION : S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetMessageStatus(ULONG cb, LPENTRYID eid, ULONG flags,
                                               ULONG* status) override
    {
        Call call(&err_, kIface, "GetMessageStatus", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!status) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        MessagePtr m = own_message(SBinary{cb, reinterpret_cast<LPBYTE>(eid)});
        if (!m) return call.fail(MAPI_E_NOT_FOUND, "no such message in this folder");
        *status = static_cast<ULONG>(m->props.i4(PR_MSG_STATUS).value_or(0));
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetMessageStatus(ULONG cb, LPENTRYID eid, ULONG status, ULONG mask,
                                               ULONG* old) override
    {
        Call call(&err_, kIface, "SetMessageStatus");
        call.arg("status", status).arg("mask", mask);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        MessagePtr m = own_message(SBinary{cb, reinterpret_cast<LPBYTE>(eid)});
        if (!m) return call.fail(MAPI_E_NOT_FOUND, "no such message in this folder");
        const ULONG before = static_cast<ULONG>(m->props.i4(PR_MSG_STATUS).value_or(0));
        if (old) *old = before;
        m->props.set(Value::i4(PR_MSG_STATUS,
                               static_cast<std::int32_t>((before & ~mask) | (status & mask))));
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SaveContentsSort(LPSSortOrderSet, ULONG flags) override
    {
        Call call(&err_, kIface, "SaveContentsSort", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE EmptyFolder(MAPIDEFS_UIPARAM, LPMAPIPROGRESS, ULONG flags) override
    {
        Call call(&err_, kIface, "EmptyFolder", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the folder was deleted");
        // One notification per item, and one TABLE_CHANGED per open table.
        notify::Batch batch(true);
        const auto messages = folder_->messages();
        for (auto& m : messages)
            if (!m->associated || (flags & DEL_ASSOCIATED)) {
                store_->detach_message(*m);
                notify::message_deleted(*store_, *m, *folder_);
            }
        const auto subfolders = folder_->subfolders();
        for (auto& f : subfolders) {
            store_->detach_folder(*f);
            notify::folder_deleted(*store_, *f, *folder_);
        }
        return call.done(S_OK);
    }

protected:
    const char* iface() const override { return kIface; }
    std::optional<Value> read(ULONG tag) override { return folder_prop(*store_, *folder_, tag); }
    std::vector<ULONG> list() override { return folder_tags(*store_, *folder_); }
    // A folder's properties change at once; the notification waits for
    // SaveChanges, so that a rename (SetProps, SaveChanges) raises one.
    void write(Value v) override
    {
        folder_->props.set(std::move(v));
        changed_ = true;
    }
    void remove(ULONG tag) override
    {
        folder_->props.erase(tag);
        changed_ = true;
    }
    HRESULT save(ULONG, Call&) override
    {
        if (changed_ && store_->contains(*folder_)) notify::folder_modified(*store_, *folder_);
        changed_ = false;
        return S_OK;
    }
    model::NameMap* names() override { return &store_->names; }
    HRESULT alive() override { return store_->contains(*folder_) ? S_OK : MAPI_E_OBJECT_DELETED; }

    HRESULT check_set(const std::vector<Value>& values, Call& call) override
    {
        for (const Value& v : values) {
            if (v.id() != PROP_ID(PR_DISPLAY_NAME)) continue;
            auto text = fit(v, PR_DISPLAY_NAME_A);
            if (!text) return call.fail(MAPI_E_INVALID_TYPE, "a display name that is no text");
            const std::string name = *text->get<std::string>();
            if (name.empty()) return call.fail(MAPI_E_INVALID_PARAMETER, "an empty folder name");
            auto parent = folder_->parent();
            if (!parent) continue;
            auto clash = parent->find_subfolder(name);
            if (clash && clash != folder_)
                return call.fail(MAPI_E_COLLISION,
                                 "a sibling has the name '" + clash->display_name() + "'");
        }
        return S_OK;
    }

    HRESULT open_property(ULONG tag, REFIID iid, ULONG, ULONG flags, LPUNKNOWN* out,
                          Call& call) override
    {
        if (iid == IID_IMAPITable) {
            if (PROP_ID(tag) == PROP_ID(PR_CONTAINER_CONTENTS)) {
                *out = new_contents_table(store_, folder_, 0);
                return call.done(S_OK);
            }
            if (PROP_ID(tag) == PROP_ID(PR_FOLDER_ASSOCIATED_CONTENTS)) {
                *out = new_contents_table(store_, folder_, MAPI_ASSOCIATED);
                return call.done(S_OK);
            }
            if (PROP_ID(tag) == PROP_ID(PR_CONTAINER_HIERARCHY)) {
                *out = new_hierarchy_table(store_, folder_, 0);
                return call.done(S_OK);
            }
            return call.fail(MAPI_E_NOT_FOUND, "no such table");
        }
        if (iid != IID_IStream)
            return call.fail(MAPI_E_INTERFACE_NOT_SUPPORTED, "only streams and tables");
        FolderPtr f = folder_;
        HRESULT hr = open_value_stream(
            read(tag), tag, flags,
            [f](Value v) {
                f->props.set(std::move(v));
                return S_OK;
            },
            out);
        return FAILED(hr) ? call.fail(hr, "could not open the property") : call.done(hr);
    }

    const char* unsupported_why() const override { return "no search folders"; }
    HRESULT open_entry(ULONG cb, const ENTRYID* eid, LPCIID iid, ULONG flags, ULONG* type,
                       LPUNKNOWN* out, Call&) override
    {
        return open_in_store(store_, nullptr, cb, eid, iid, flags, type, out);
    }

private:
    static constexpr const char* kIface = "IMAPIFolder";

    // A message of this folder named by an entry identifier, or null.
    MessagePtr own_message(const SBinary& bin) const
    {
        auto id = decode(bin.cb, bin.lpb);
        if (!id || id->kind != Kind::Message || id->store != store_->number()) return nullptr;
        MessagePtr m = store_->find_message(id->number);
        return m && m->parent() == folder_ ? m : nullptr;
    }

    HRESULT own_subfolder(ULONG cb, const ENTRYID* eid, FolderPtr& out) const
    {
        auto id = decode(cb, eid);
        if (!id) return MAPI_E_INVALID_ENTRYID;
        if (id->kind != Kind::Folder || id->store != store_->number()) return MAPI_E_NOT_FOUND;
        out = store_->find_folder(id->number);
        if (!out || out->parent() != folder_) return MAPI_E_NOT_FOUND;
        return S_OK;
    }

    StorePtr store_;
    FolderPtr folder_;
    bool changed_ = false; // properties set since the last SaveChanges
};

} // namespace

IMAPIFolder* new_folder(StorePtr store, FolderPtr folder, bool writable)
{
    return new FolderObject(std::move(store), std::move(folder), writable);
}

StorePtr store_of_folder_object(void* object, FolderPtr* folder)
{
    auto* f = dynamic_cast<FolderObject*>(static_cast<IMAPIFolder*>(object));
    if (!f) return nullptr;
    *folder = f->folder();
    return f->store();
}

IMAPITable* new_contents_table(StorePtr store, FolderPtr folder, ULONG flags)
{
    return new_table(std::make_unique<ContentsSource>(std::move(store), std::move(folder),
                                                      flags & MAPI_ASSOCIATED),
                     flags);
}

IMAPITable* new_hierarchy_table(StorePtr store, FolderPtr folder, ULONG flags)
{
    return new_table(std::make_unique<HierarchySource>(std::move(store), std::move(folder),
                                                       flags & CONVENIENT_DEPTH_),
                     flags);
}

IMAPITable* new_bag_table(std::vector<model::PropertyBag> rows, std::vector<ULONG> columns,
                          ULONG flags)
{
    return new_table(std::make_unique<BagSource>(std::move(rows), std::move(columns)), flags);
}

} // namespace mapisim::mapi
