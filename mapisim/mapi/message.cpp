// IMessage and IAttach. A message's property changes wait in the object
// until SaveChanges; recipients, attachments and the read flag change the
// message at once, as they do in MAPI stores.
#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/notify.h"
#include "mapisim/mapi/objects.h"
#include "mapisim/mapi/stream.h"

namespace mapisim::mapi {

using model::Attachment;
using model::Message;
using model::PropertyBag;

namespace {

constexpr ULONG MODRECIP_ADD_ = 0x2;
constexpr ULONG MODRECIP_MODIFY_ = 0x4;
constexpr ULONG MODRECIP_REMOVE_ = 0x8;

// A stream on a property of an object whose changes wait in pending until
// SaveChanges. The stream keeps the object alive while it lives.
HRESULT open_pending_stream(IUnknown* owner, PropertyBag& pending, std::optional<Value> raw,
                            ULONG tag, ULONG flags, LPUNKNOWN* out, Call& call)
{
    Ref<IUnknown> hold = Ref<IUnknown>::share(owner);
    PropertyBag* bag = &pending;
    HRESULT hr = open_value_stream(
        std::move(raw), tag, flags,
        [bag, hold](Value v) {
            bag->set(std::move(v));
            return S_OK;
        },
        out);
    return FAILED(hr) ? call.fail(hr, "could not open the property") : call.done(hr);
}

std::int32_t attach_size(const Attachment& a)
{
    std::size_t n = 0;
    for (auto& [id, v] : a.props) n += v.payload_size();
    if (a.embedded)
        for (auto& [id, v] : a.embedded->props) n += v.payload_size();
    return static_cast<std::int32_t>(n);
}

std::optional<Value> attach_prop(const Attachment& a, const PropertyBag& bag, ULONG tag)
{
    if (const Value* v = bag.find(tag)) return *v;
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ATTACH_NUM):
            return Value::i4(PR_ATTACH_NUM, static_cast<std::int32_t>(a.number));
        case PROP_ID(PR_OBJECT_TYPE):
            return Value::i4(PR_OBJECT_TYPE, MAPI_ATTACH);
        case PROP_ID(PR_ATTACH_SIZE):
            return Value::i4(PR_ATTACH_SIZE, attach_size(a));
        case PROP_ID(PR_RECORD_KEY): {
            model::Bytes b(4);
            for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(a.number >> (8 * i));
            return Value::binary(PR_RECORD_KEY, std::move(b));
        }
        default:
            return std::nullopt;
    }
}

class RecipientSource final : public RowSource {
public:
    explicit RecipientSource(MessagePtr m) : msg_(std::move(m)) {}
    HRESULT rows(std::vector<RowPtr>& out) override
    {
        std::uint64_t i = 0;
        for (auto& r : msg_->recipients) {
            PropertyBag bag = r.props;
            if (!bag.contains(PR_ROWID))
                bag.set_unwatched(Value::i4(PR_ROWID, static_cast<std::int32_t>(i)));
            if (!bag.contains(PR_OBJECT_TYPE))
                bag.set_unwatched(Value::i4(PR_OBJECT_TYPE, MAPI_MAILUSER));
            out.push_back(std::make_shared<BagRow>(std::move(bag), ++i));
        }
        return S_OK;
    }
    std::vector<ULONG> columns() const override
    {
        return {PR_ROWID,          PR_INSTANCE_KEY, PR_RECIPIENT_TYPE,
                PR_DISPLAY_NAME_A, PR_ADDRTYPE_A,   PR_EMAIL_ADDRESS_A};
    }

private:
    MessagePtr msg_;
};

class AttachRow final : public Row {
public:
    AttachRow(MessagePtr m, std::size_t index) : msg_(std::move(m)), index_(index)
    {
        key = msg_->attachments[index_].number + 1;
    }
    std::optional<Value> get(ULONG tag) const override
    {
        // The message may lose attachments while the row set is built.
        if (index_ >= msg_->attachments.size()) return std::nullopt;
        const Attachment& a = msg_->attachments[index_];
        return attach_prop(a, a.props, tag);
    }

private:
    MessagePtr msg_;
    std::size_t index_;
};

class AttachmentSource final : public RowSource {
public:
    explicit AttachmentSource(MessagePtr m) : msg_(std::move(m)) {}
    HRESULT rows(std::vector<RowPtr>& out) override
    {
        for (std::size_t i = 0; i < msg_->attachments.size(); ++i)
            out.push_back(std::make_shared<AttachRow>(msg_, i));
        return S_OK;
    }
    std::vector<ULONG> columns() const override
    {
        return {PR_ATTACH_NUM,    PR_INSTANCE_KEY,   PR_RENDERING_POSITION, PR_ATTACH_FILENAME_A,
                PR_ATTACH_METHOD, PR_DISPLAY_NAME_A, PR_ATTACH_SIZE};
    }

private:
    MessagePtr msg_;
};

class MessageObject;

class AttachObject final : public PropObject<IAttach> {
public:
    AttachObject(Ref<IMessage> owner, MessageOpen open, ULONG number, bool writable)
        : owner_(std::move(owner)),
          open_(std::move(open)),
          number_(number),
          pending_(find() ? find()->props : PropertyBag())
    {
        writable_ = writable;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPIProp, &IID_IAttachment});
    }

protected:
    const char* iface() const override { return "IAttach"; }

    std::optional<Value> read(ULONG tag) override
    {
        const Attachment* a = find();
        if (!a) return std::nullopt;
        return attach_prop(*a, pending_, tag);
    }

    std::vector<ULONG> list() override
    {
        std::vector<ULONG> tags;
        for (auto& [id, v] : pending_)
            if (!v.is_error()) tags.push_back(v.tag());
        for (ULONG t : {PR_ATTACH_NUM, PR_OBJECT_TYPE, PR_ATTACH_SIZE, PR_RECORD_KEY})
            if (!pending_.contains(t)) tags.push_back(t);
        return tags;
    }

    void write(Value v) override { pending_.set(std::move(v)); }
    void remove(ULONG tag) override { pending_.erase(tag); }
    bool settable(ULONG tag) const override { return PROP_ID(tag) == PROP_ID(PR_ATTACH_SIZE); }
    model::NameMap* names() override { return open_.store ? &open_.store->names : nullptr; }
    HRESULT alive() override { return find() ? S_OK : MAPI_E_OBJECT_DELETED; }

    HRESULT save(ULONG flags, Call& call) override
    {
        if (!writable_) return call.fail(MAPI_E_NO_ACCESS, "the attachment was opened read-only");
        Attachment* a = find();
        if (!a) return call.fail(MAPI_E_OBJECT_DELETED, "the attachment was deleted");
        a->props = pending_;
        a->props.set(Value::i4(PR_ATTACH_NUM, static_cast<std::int32_t>(a->number)));
        if (!(flags & KEEP_OPEN_READWRITE)) writable_ = false;
        return S_OK;
    }

    HRESULT open_property(ULONG tag, REFIID iid, ULONG, ULONG flags, LPUNKNOWN* out,
                          Call& call) override
    {
        Attachment* a = find();
        if (!a) return call.fail(MAPI_E_OBJECT_DELETED, "the attachment was deleted");
        if (PROP_ID(tag) == PROP_ID(PR_ATTACH_DATA_OBJ) && PROP_TYPE(tag) == PT_OBJECT) {
            if (iid != IID_IMessage)
                return call.fail(MAPI_E_INTERFACE_NOT_SUPPORTED, "only IMessage");
            if (!a->embedded) {
                if (!(flags & MAPI_CREATE))
                    return call.fail(MAPI_E_NOT_FOUND, "no embedded message");
                a->embedded = std::make_shared<Message>();
                model::touch();
                pending_.set(Value::i4(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG));
            }
            *out = new_message({open_.store, a->embedded, nullptr,
                                writable_ && (flags & MAPI_MODIFY), false, true});
            return call.done(S_OK);
        }
        if (iid != IID_IStream) return call.fail(MAPI_E_INTERFACE_NOT_SUPPORTED, "only streams");
        return open_pending_stream(this, pending_, read(tag), tag, flags, out, call);
    }

private:
    Attachment* find() const
    {
        for (auto& a : open_.message->attachments)
            if (a.number == number_) return &a;
        return nullptr;
    }

    Ref<IMessage> owner_; // keeps the message object alive while attachments are open
    MessageOpen open_;
    ULONG number_;
    PropertyBag pending_;
};

class MessageObject final : public PropObject<IMessage> {
public:
    const MessagePtr& message() const { return open_.message; }

    // The bag is copied, not assigned: opening a message changes nothing
    // that tables show, so open tables keep their rows.
    explicit MessageObject(MessageOpen open)
        : open_(std::move(open)), pending_(open_.message->props)
    {
        writable_ = open_.writable;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMessage});
    }

    HRESULT STDMETHODCALLTYPE GetAttachmentTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, kIface, "GetAttachmentTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        *out = new_table(std::make_unique<AttachmentSource>(open_.message), flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE OpenAttach(ULONG number, LPCIID iid, ULONG flags,
                                         LPATTACH* out) override
    {
        Call call(&err_, kIface, "OpenAttach", flags);
        call.arg("number", number);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (!open_.message->find_attachment(number))
            return call.fail(MAPI_E_NOT_FOUND, "no attachment with that number");
        auto* a = new AttachObject(Ref<IMessage>::share(this), open_, number,
                                   writable_ && wants_write(flags));
        LPUNKNOWN unk = nullptr;
        if (HRESULT hr = hand_out(a, iid, &unk); FAILED(hr)) return call.fail(hr, "bad interface");
        *out = static_cast<LPATTACH>(unk);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE CreateAttach(LPCIID iid, ULONG flags, ULONG* number,
                                           LPATTACH* out) override
    {
        Call call(&err_, kIface, "CreateAttach", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!number || !out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (!writable_) return call.fail(MAPI_E_NO_ACCESS, "the message was opened read-only");
        *number = open_.message->add_attachment(Attachment{});
        auto* a = new AttachObject(Ref<IMessage>::share(this), open_, *number, true);
        LPUNKNOWN unk = nullptr;
        if (HRESULT hr = hand_out(a, iid, &unk); FAILED(hr)) return call.fail(hr, "bad interface");
        *out = static_cast<LPATTACH>(unk);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE DeleteAttach(ULONG number, MAPIDEFS_UIPARAM, LPMAPIPROGRESS,
                                           ULONG flags) override
    {
        Call call(&err_, kIface, "DeleteAttach", flags);
        call.arg("number", number);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!writable_) return call.fail(MAPI_E_NO_ACCESS, "the message was opened read-only");
        auto& list = open_.message->attachments;
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->number == number) {
                list.erase(it);
                model::touch();
                return call.done(S_OK);
            }
        return call.fail(MAPI_E_NOT_FOUND, "no attachment with that number");
    }

    HRESULT STDMETHODCALLTYPE GetRecipientTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, kIface, "GetRecipientTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        *out = new_table(std::make_unique<RecipientSource>(open_.message), flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE ModifyRecipients(ULONG flags, LPADRLIST mods) override
    {
        Call call(&err_, kIface, "ModifyRecipients", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!mods || mods->cEntries > kMaxItems)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no list, or too long");
        if (!writable_) return call.fail(MAPI_E_NO_ACCESS, "the message was opened read-only");
        std::vector<model::Recipient> changed;
        for (ULONG i = 0; i < mods->cEntries; ++i) {
            const ADRENTRY& e = mods->aEntries[i];
            if ((e.cValues && !e.rgPropVals) || e.cValues > kMaxItems)
                return call.fail(MAPI_E_INVALID_PARAMETER, "bad entry");
            model::Recipient r;
            for (ULONG k = 0; k < e.cValues; ++k)
                if (auto v = Value::from_mapi(e.rgPropVals[k]); v && !v->is_error())
                    r.props.set(*v);
            changed.push_back(std::move(r));
        }
        auto& list = open_.message->recipients;
        model::touch();
        if (!(flags & (MODRECIP_ADD_ | MODRECIP_MODIFY_ | MODRECIP_REMOVE_))) {
            list = std::move(changed);
            return call.done(S_OK);
        }
        for (auto& r : changed) {
            if (flags & MODRECIP_ADD_) {
                r.props.erase(PR_ROWID);
                list.push_back(std::move(r));
                continue;
            }
            auto row = r.props.i4(PR_ROWID);
            if (!row || *row < 0 || static_cast<std::size_t>(*row) >= list.size())
                return call.fail(MAPI_E_NOT_FOUND, "no recipient with that row id");
            if (flags & MODRECIP_MODIFY_) list[*row] = r;
        }
        if (flags & MODRECIP_REMOVE_) {
            std::vector<bool> drop(list.size(), false);
            for (auto& r : changed) drop[*r.props.i4(PR_ROWID)] = true;
            std::vector<model::Recipient> kept;
            for (std::size_t i = 0; i < list.size(); ++i)
                if (!drop[i]) kept.push_back(std::move(list[i]));
            list = std::move(kept);
        }
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SubmitMessage(ULONG flags) override
    {
        Call call(&err_, kIface, "SubmitMessage", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.fail(MAPI_E_NO_SUPPORT, "the stand-in sends nothing");
    }

    HRESULT STDMETHODCALLTYPE SetReadFlag(ULONG flags) override
    {
        Call call(&err_, kIface, "SetReadFlag", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        constexpr ULONG known = SUPPRESS_RECEIPT | CLEAR_READ_FLAG | MAPI_DEFERRED_ERRORS |
                                GENERATE_RECEIPT_ONLY | CLEAR_RN_PENDING | CLEAR_NRN_PENDING;
        if (flags & ~known) return call.fail(MAPI_E_UNKNOWN_FLAGS, "unknown flags");
        if ((flags & CLEAR_READ_FLAG) && (flags & (SUPPRESS_RECEIPT | GENERATE_RECEIPT_ONLY)))
            return call.fail(MAPI_E_INVALID_PARAMETER, "CLEAR_READ_FLAG with a receipt flag");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the message was deleted");
        for (PropertyBag* bag : {&pending_, &open_.message->props}) {
            ULONG f = static_cast<ULONG>(bag->i4(PR_MESSAGE_FLAGS).value_or(0));
            f = (flags & CLEAR_READ_FLAG) ? f & ~MSGFLAG_READ : f | MSGFLAG_READ;
            bag->set(Value::i4(PR_MESSAGE_FLAGS, static_cast<std::int32_t>(f)));
        }
        if (in_store()) notify::message_modified(*open_.store, *open_.message);
        return call.done(S_OK);
    }

protected:
    const char* iface() const override { return kIface; }

    model::Folder* parent() const
    {
        if (open_.embedded) return nullptr;
        if (open_.created) return open_.parent.get();
        parent_hold_ = open_.message->parent();
        return parent_hold_.get();
    }

    // The parent as reading the tag needs it: only the parent's identifier
    // does, looked up anew since the message may have moved.
    const model::Folder* parent_for(ULONG tag) const
    {
        return PROP_ID(tag) == PROP_ID(PR_PARENT_ENTRYID) ? parent() : nullptr;
    }

    std::optional<Value> read(ULONG tag) override
    {
        return message_prop(open_.store.get(), parent_for(tag), *open_.message, pending_, tag);
    }
    const Value* stored(ULONG tag) override { return stored_message_value(pending_, tag); }
    void stored_each(const ULONG* tags, const std::vector<std::uint32_t>& order,
                     const Value** out) override
    {
        stored_message_values(pending_, tags, order, out);
    }
    std::optional<Value> read_unstored(ULONG tag) override
    {
        return computed_message_prop(open_.store.get(), parent_for(tag), *open_.message, pending_,
                                     tag);
    }
    Computed computed_out(ULONG tag, std::uint32_t limit, OutValue& out) override
    {
        if (!is_computed_message_prop(tag)) return Computed::Missing;
        return computed_message_out(open_.store.get(), parent_for(tag), *open_.message, pending_,
                                    tag, limit, out);
    }
    std::vector<ULONG> list() override
    {
        return message_tags(open_.store.get(), parent(), *open_.message, pending_);
    }
    void write(Value v) override { pending_.set(std::move(v)); }
    void remove(ULONG tag) override { pending_.erase(tag); }
    model::NameMap* names() override { return open_.store ? &open_.store->names : nullptr; }

    HRESULT alive() override
    {
        if (open_.embedded) return S_OK;
        if (open_.created)
            return open_.store->contains(*open_.parent) ? S_OK : MAPI_E_OBJECT_DELETED;
        return open_.store->contains(*open_.message) ? S_OK : MAPI_E_OBJECT_DELETED;
    }

    HRESULT save(ULONG flags, Call& call) override
    {
        if (!writable_) return call.fail(MAPI_E_NO_ACCESS, "the message is read-only");
        if (HRESULT h = alive(); FAILED(h))
            return call.fail(h, "the message or its folder was deleted");
        pending_.set(Value::systime(PR_LAST_MODIFICATION_TIME, now()));
        open_.message->props = pending_;
        if (open_.created) {
            open_.store->attach_message(*open_.parent, open_.message);
            open_.created = false;
            notify::message_created(*open_.store, *open_.message);
        } else if (in_store()) {
            notify::message_modified(*open_.store, *open_.message);
        }
        if (!(flags & KEEP_OPEN_READWRITE)) writable_ = false;
        return S_OK;
    }

    HRESULT open_property(ULONG tag, REFIID iid, ULONG, ULONG flags, LPUNKNOWN* out,
                          Call& call) override
    {
        if (iid == IID_IMAPITable) {
            if (PROP_ID(tag) == PROP_ID(PR_MESSAGE_RECIPIENTS))
                *out = new_table(std::make_unique<RecipientSource>(open_.message), 0);
            else if (PROP_ID(tag) == PROP_ID(PR_MESSAGE_ATTACHMENTS))
                *out = new_table(std::make_unique<AttachmentSource>(open_.message), 0);
            else
                return call.fail(MAPI_E_NOT_FOUND, "no such table");
            return call.done(S_OK);
        }
        if (iid != IID_IStream)
            return call.fail(MAPI_E_INTERFACE_NOT_SUPPORTED, "only streams and tables");
        // Reading a stored body needs no copy of it.
        if (!(flags & (MAPI_MODIFY | MAPI_CREATE)) && stored(tag))
            if (IStream* s = open_stored_stream(pending_, tag)) {
                *out = s;
                return call.done(S_OK);
            }
        return open_pending_stream(this, pending_, read(tag), tag, flags, out, call);
    }

private:
    static constexpr const char* kIface = "IMessage";

    // A saved message of a store, not one inside an attachment: the kind
    // whose changes are announced.
    bool in_store() const
    {
        return !open_.embedded && !open_.created && open_.store &&
               open_.store->contains(*open_.message);
    }

    MessageOpen open_;
    PropertyBag pending_;
    mutable FolderPtr parent_hold_;
};

} // namespace

IMessage* new_message(MessageOpen open) { return new MessageObject(std::move(open)); }

MessagePtr message_of_object(IMessage* object)
{
    auto* m = dynamic_cast<MessageObject*>(object);
    return m ? m->message() : nullptr;
}

} // namespace mapisim::mapi
