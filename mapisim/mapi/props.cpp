#include "mapisim/mapi/props.h"

#include <algorithm>
#include <chrono>

#include "mapisim/decl/mapitags.h"

namespace mapisim::mapi {

using model::Bytes;
using model::Folder;
using model::Message;
using model::PropertyBag;
using model::Store;

namespace {

constexpr ULONG kStoreSupport = STORE_ENTRYID_UNIQUE | STORE_MODIFY_OK | STORE_CREATE_OK |
                                STORE_ATTACH_OK | STORE_MV_PROPS_OK | STORE_RESTRICTION_OK |
                                STORE_SORT_OK | 0x00040000 /* STORE_UNICODE_OK */;

constexpr std::size_t kRecordKeySize = 8;

void put_record_key(std::uint32_t store, std::uint32_t number, std::uint8_t* out)
{
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(store >> (8 * i));
        out[4 + i] = static_cast<std::uint8_t>(number >> (8 * i));
    }
}

Bytes record_key(std::uint32_t store, std::uint32_t number)
{
    Bytes b(kRecordKeySize);
    put_record_key(store, number, b.data());
    return b;
}

Value i4(ULONG tag, ULONG v) { return Value::i4(tag, static_cast<std::int32_t>(v)); }

std::string join_recipients(const Message& m, ULONG type)
{
    std::string out;
    for (auto& r : m.recipients) {
        if (r.props.i4(PR_RECIPIENT_TYPE).value_or(-1) != static_cast<std::int32_t>(type)) continue;
        if (!out.empty()) out += "; ";
        out += r.props.text(PR_DISPLAY_NAME_A).value_or("");
    }
    return out;
}

std::size_t bag_size(const PropertyBag& bag)
{
    std::size_t n = 0;
    for (auto& [id, v] : bag) n += v.payload_size() + 16;
    return n;
}

std::size_t message_size(const Message& m, const PropertyBag& bag)
{
    std::size_t n = bag_size(bag);
    for (auto& r : m.recipients) n += bag_size(r.props);
    for (auto& a : m.attachments) {
        n += bag_size(a.props);
        if (a.embedded) n += message_size(*a.embedded, a.embedded->props);
    }
    return n;
}

void add_unique(std::vector<ULONG>& tags, ULONG tag)
{
    for (ULONG t : tags)
        if (PROP_ID(t) == PROP_ID(tag)) return;
    tags.push_back(tag);
}

void add_bag(std::vector<ULONG>& tags, const PropertyBag& bag)
{
    for (auto& [id, v] : bag)
        if (!v.is_error()) add_unique(tags, v.tag());
}

} // namespace

model::FileTime now()
{
    using namespace std::chrono;
    // 1601-01-01 to 1970-01-01 in 100-ns units.
    constexpr std::uint64_t kEpoch = 116444736000000000ull;
    const auto since = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return {kEpoch + static_cast<std::uint64_t>(since / 100)};
}

EntryId store_id(const Store& s) { return {Kind::Store, s.number(), 0, false}; }
EntryId folder_id(const Store& s, const Folder& f)
{
    return {Kind::Folder, s.number(), f.number(), false};
}
EntryId message_id(const Store& s, const Message& m)
{
    return {Kind::Message, s.number(), m.number(), false};
}

std::optional<Value> fit(std::optional<Value> v, ULONG tag)
{
    if (!v) return std::nullopt;
    if (v->is_error()) return Value::error(tag, v->get<model::ErrorCode>()->scode);
    const ULONG want = PROP_TYPE(tag);
    if (want == PT_UNSPECIFIED || want == v->type()) return v;
    if ((want == PT_STRING8 && v->type() == PT_UNICODE) ||
        (want == PT_UNICODE && v->type() == PT_STRING8))
        return v->converted(want);
    return std::nullopt;
}

bool is_computed(ULONG tag)
{
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ENTRYID):
        case PROP_ID(PR_PARENT_ENTRYID):
        case PROP_ID(PR_RECORD_KEY):
        case PROP_ID(PR_STORE_ENTRYID):
        case PROP_ID(PR_STORE_RECORD_KEY):
        case PROP_ID(PR_INSTANCE_KEY):
        case PROP_ID(PR_OBJECT_TYPE):
        case PROP_ID(PR_MESSAGE_SIZE):
        case PROP_ID(PR_HASATTACH):
        case PROP_ID(PR_ACCESS):
        case PROP_ID(PR_ACCESS_LEVEL):
        case PROP_ID(PR_CONTENT_COUNT):
        case PROP_ID(PR_CONTENT_UNREAD):
        case PROP_ID(PR_ASSOC_CONTENT_COUNT):
        case PROP_ID(PR_SUBFOLDERS):
        case PROP_ID(PR_FOLDER_TYPE):
        case PROP_ID(PR_MESSAGE_RECIPIENTS):
        case PROP_ID(PR_MESSAGE_ATTACHMENTS):
            return true;
        default:
            return false;
    }
}

std::optional<Value> store_prop(const Store& s, ULONG tag)
{
    if (const Value* v = s.props.find(tag)) return *v;
    auto special = [&](std::uint32_t number) -> std::optional<Value> {
        if (!number) return std::nullopt;
        return entryid_value(tag, {Kind::Folder, s.number(), number, false});
    };
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ENTRYID):
        case PROP_ID(PR_STORE_ENTRYID):
            return entryid_value(tag, store_id(s));
        case PROP_ID(PR_RECORD_KEY):
        case PROP_ID(PR_STORE_RECORD_KEY):
            return Value::binary(tag, record_key(s.number(), 0));
        case PROP_ID(PR_OBJECT_TYPE):
            return i4(tag, MAPI_STORE);
        case PROP_ID(PR_DISPLAY_NAME):
            return Value::string8(tag, s.display_name);
        case PROP_ID(PR_PROVIDER_DISPLAY):
            return Value::string8(tag, s.provider_display);
        case PROP_ID(PR_DEFAULT_STORE):
            return Value::boolean(tag, s.is_default);
        case PROP_ID(PR_RESOURCE_FLAGS):
            return i4(tag, s.resource_flags);
        case PROP_ID(PR_STORE_SUPPORT_MASK):
            return i4(tag, kStoreSupport);
        case PROP_ID(PR_MDB_PROVIDER): {
            const Bytes eid = encode(store_id(s));
            return Value::binary(tag, Bytes(eid.begin() + 4, eid.begin() + 20));
        }
        case PROP_ID(PR_VALID_FOLDER_MASK): {
            ULONG mask = 0;
            if (s.ipm_subtree) mask |= FOLDER_IPM_SUBTREE_VALID;
            if (s.receive_folder("").first) mask |= FOLDER_IPM_INBOX_VALID;
            if (s.outbox) mask |= FOLDER_IPM_OUTBOX_VALID;
            if (s.wastebasket) mask |= FOLDER_IPM_WASTEBASKET_VALID;
            if (s.sentmail) mask |= FOLDER_IPM_SENTMAIL_VALID;
            return i4(tag, mask);
        }
        case PROP_ID(PR_IPM_SUBTREE_ENTRYID):
            return special(s.ipm_subtree);
        case PROP_ID(PR_IPM_OUTBOX_ENTRYID):
            return special(s.outbox);
        case PROP_ID(PR_IPM_WASTEBASKET_ENTRYID):
            return special(s.wastebasket);
        case PROP_ID(PR_IPM_SENTMAIL_ENTRYID):
            return special(s.sentmail);
        case PROP_ID(PR_VIEWS_ENTRYID):
            return special(s.views);
        case PROP_ID(PR_COMMON_VIEWS_ENTRYID):
            return special(s.common_views);
        case PROP_ID(PR_FINDER_ENTRYID):
            return special(s.finder);
        default:
            return std::nullopt;
    }
}

std::vector<ULONG> store_tags(const Store& s)
{
    std::vector<ULONG> tags;
    add_bag(tags, s.props);
    for (ULONG t :
         {PR_ENTRYID, PR_RECORD_KEY, PR_STORE_ENTRYID, PR_STORE_RECORD_KEY, PR_OBJECT_TYPE,
          PR_DISPLAY_NAME_A, PR_PROVIDER_DISPLAY_A, PR_DEFAULT_STORE, PR_RESOURCE_FLAGS,
          PR_STORE_SUPPORT_MASK, PR_MDB_PROVIDER, PR_VALID_FOLDER_MASK, PR_IPM_SUBTREE_ENTRYID,
          PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID, PR_IPM_SENTMAIL_ENTRYID,
          PR_VIEWS_ENTRYID, PR_COMMON_VIEWS_ENTRYID, PR_FINDER_ENTRYID})
        if (auto v = store_prop(s, t); v && !v->is_error()) add_unique(tags, v->tag());
    return tags;
}

std::optional<Value> folder_prop(const Store& s, const Folder& f, ULONG tag)
{
    if (const Value* v = f.props.find(tag)) return *v;
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ENTRYID):
            return entryid_value(tag, folder_id(s, f));
        case PROP_ID(PR_PARENT_ENTRYID): {
            // The root is its own parent, as in MAPI stores.
            auto parent = f.parent();
            return entryid_value(tag, folder_id(s, parent ? *parent : f));
        }
        case PROP_ID(PR_RECORD_KEY):
            return Value::binary(tag, record_key(s.number(), f.number()));
        case PROP_ID(PR_STORE_ENTRYID):
            return entryid_value(tag, store_id(s));
        case PROP_ID(PR_STORE_RECORD_KEY):
            return Value::binary(tag, record_key(s.number(), 0));
        case PROP_ID(PR_OBJECT_TYPE):
            return i4(tag, MAPI_FOLDER);
        case PROP_ID(PR_FOLDER_TYPE):
            return i4(tag, f.folder_type);
        case PROP_ID(PR_CONTENT_COUNT):
            return i4(tag, f.message_counts().normal);
        case PROP_ID(PR_ASSOC_CONTENT_COUNT):
            return i4(tag, f.message_counts().associated);
        case PROP_ID(PR_CONTENT_UNREAD):
            return i4(tag, f.message_counts().unread);
        case PROP_ID(PR_SUBFOLDERS):
            return Value::boolean(tag, !f.subfolders().empty());
        case PROP_ID(PR_ACCESS):
            return i4(tag, MAPI_ACCESS_MODIFY | MAPI_ACCESS_READ | MAPI_ACCESS_DELETE |
                               MAPI_ACCESS_CREATE_HIERARCHY | MAPI_ACCESS_CREATE_CONTENTS |
                               MAPI_ACCESS_CREATE_ASSOCIATED);
        default:
            return std::nullopt;
    }
}

std::vector<ULONG> folder_tags(const Store& s, const Folder& f)
{
    std::vector<ULONG> tags;
    add_bag(tags, f.props);
    for (ULONG t : {PR_ENTRYID, PR_PARENT_ENTRYID, PR_RECORD_KEY, PR_STORE_ENTRYID,
                    PR_STORE_RECORD_KEY, PR_OBJECT_TYPE, PR_FOLDER_TYPE, PR_CONTENT_COUNT,
                    PR_ASSOC_CONTENT_COUNT, PR_CONTENT_UNREAD, PR_SUBFOLDERS, PR_ACCESS})
        if (auto v = folder_prop(s, f, t); v && !v->is_error()) add_unique(tags, v->tag());
    return tags;
}

std::optional<Value> message_prop(const Store* s, const Folder* folder, const Message& m,
                                  const PropertyBag& bag, ULONG tag)
{
    if (PROP_ID(tag) == PROP_ID(PR_MESSAGE_FLAGS)) {
        const Value* stored = bag.find(tag);
        if (stored && !stored->get<std::int32_t>()) return *stored;
        if (!stored && !m.associated && m.attachments.empty()) return std::nullopt;
        ULONG flags = stored ? static_cast<ULONG>(*stored->get<std::int32_t>()) : 0;
        flags = m.attachments.empty() ? flags & ~MSGFLAG_HASATTACH : flags | MSGFLAG_HASATTACH;
        flags = m.associated ? flags | MSGFLAG_ASSOCIATED : flags & ~MSGFLAG_ASSOCIATED;
        return i4(tag, flags);
    }
    if (const Value* v = bag.find(tag)) return *v;
    return computed_message_prop(s, folder, m, bag, tag);
}

std::optional<Value> computed_message_prop(const Store* s, const Folder* folder, const Message& m,
                                           const PropertyBag& bag, ULONG tag)
{
    if (PROP_ID(tag) == PROP_ID(PR_MESSAGE_FLAGS)) return message_prop(s, folder, m, bag, tag);
    const bool placed = s && m.number();
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ENTRYID):
            if (!placed) return std::nullopt;
            return entryid_value(tag, message_id(*s, m));
        case PROP_ID(PR_PARENT_ENTRYID):
            if (!s || !folder) return std::nullopt;
            return entryid_value(tag, folder_id(*s, *folder));
        case PROP_ID(PR_RECORD_KEY):
        case PROP_ID(PR_SEARCH_KEY):
            if (!placed) return std::nullopt;
            return Value::binary(tag, record_key(s->number(), m.number()));
        case PROP_ID(PR_STORE_ENTRYID):
            if (!s) return std::nullopt;
            return entryid_value(tag, store_id(*s));
        case PROP_ID(PR_STORE_RECORD_KEY):
            if (!s) return std::nullopt;
            return Value::binary(tag, record_key(s->number(), 0));
        case PROP_ID(PR_OBJECT_TYPE):
            return i4(tag, MAPI_MESSAGE);
        case PROP_ID(PR_MESSAGE_SIZE):
            return i4(tag, static_cast<ULONG>(message_size(m, bag)));
        case PROP_ID(PR_HASATTACH):
            return Value::boolean(tag, !m.attachments.empty());
        case PROP_ID(PR_ACCESS):
            return i4(tag, MAPI_ACCESS_MODIFY | MAPI_ACCESS_READ | MAPI_ACCESS_DELETE);
        case PROP_ID(PR_MSG_STATUS):
            return i4(tag, 0);
        case PROP_ID(PR_DISPLAY_TO):
            return Value::string8(tag, join_recipients(m, MAPI_TO));
        case PROP_ID(PR_DISPLAY_CC):
            return Value::string8(tag, join_recipients(m, MAPI_CC));
        case PROP_ID(PR_DISPLAY_BCC):
            return Value::string8(tag, join_recipients(m, MAPI_BCC));
        default:
            return std::nullopt;
    }
}

Computed computed_message_out(const Store* s, const Folder* folder, const Message& m,
                              const PropertyBag& bag, ULONG tag, std::uint32_t limit, OutValue& out)
{
    if (!is_computed_message_prop(tag)) return Computed::Missing;
    // What returned_value() makes of the computed value: the asked type or
    // PT_UNSPECIFIED keeps it, within the limit; other cases go the long way.
    const ULONG want = PROP_TYPE(tag);
    auto scalar = [&](ULONG type, std::int32_t v) {
        if (want != PT_UNSPECIFIED && want != type) return Computed::Other;
        out = OutValue::scalar(CHANGE_PROP_TYPE(tag, type), v);
        return Computed::Out;
    };
    auto bytes = [&](ULONG type, std::size_t size) {
        if ((want != PT_UNSPECIFIED && want != type) || size > limit) return false;
        out = OutValue::inline_bytes(CHANGE_PROP_TYPE(tag, type), nullptr, 0);
        out.cb = static_cast<std::uint32_t>(size);
        return true;
    };
    auto entry_id = [&](bool there, auto id) {
        if (!there) return Computed::Missing;
        if (!bytes(PT_BINARY, kEntryIdSize)) return Computed::Other;
        encode_into(id(), out.bytes);
        return Computed::Out;
    };
    auto key = [&](bool there, std::uint32_t number) {
        if (!there) return Computed::Missing;
        if (!bytes(PT_BINARY, kRecordKeySize)) return Computed::Other;
        put_record_key(s->number(), number, out.bytes);
        return Computed::Out;
    };
    const bool placed = s && m.number();
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_MESSAGE_FLAGS): {
            // As message_prop() adjusts it.
            const Value* stored = bag.find(tag);
            if (stored && !stored->get<std::int32_t>()) return Computed::Other;
            if (!stored && !m.associated && m.attachments.empty()) return Computed::Missing;
            ULONG flags = stored ? static_cast<ULONG>(*stored->get<std::int32_t>()) : 0;
            flags = m.attachments.empty() ? flags & ~MSGFLAG_HASATTACH : flags | MSGFLAG_HASATTACH;
            flags = m.associated ? flags | MSGFLAG_ASSOCIATED : flags & ~MSGFLAG_ASSOCIATED;
            return scalar(PT_LONG, static_cast<std::int32_t>(flags));
        }
        case PROP_ID(PR_ENTRYID):
            return entry_id(placed, [&] { return message_id(*s, m); });
        case PROP_ID(PR_PARENT_ENTRYID):
            return entry_id(s && folder, [&] { return folder_id(*s, *folder); });
        case PROP_ID(PR_RECORD_KEY):
        case PROP_ID(PR_SEARCH_KEY):
            return key(placed, m.number());
        case PROP_ID(PR_STORE_ENTRYID):
            return entry_id(s != nullptr, [&] { return store_id(*s); });
        case PROP_ID(PR_STORE_RECORD_KEY):
            return key(s != nullptr, 0);
        case PROP_ID(PR_OBJECT_TYPE):
            return scalar(PT_LONG, MAPI_MESSAGE);
        case PROP_ID(PR_MESSAGE_SIZE):
            return scalar(PT_LONG, static_cast<std::int32_t>(message_size(m, bag)));
        case PROP_ID(PR_HASATTACH):
            return scalar(PT_BOOLEAN, !m.attachments.empty());
        case PROP_ID(PR_ACCESS):
            return scalar(PT_LONG, MAPI_ACCESS_MODIFY | MAPI_ACCESS_READ | MAPI_ACCESS_DELETE);
        case PROP_ID(PR_MSG_STATUS):
            return scalar(PT_LONG, 0);
        case PROP_ID(PR_DISPLAY_TO):
        case PROP_ID(PR_DISPLAY_CC):
        case PROP_ID(PR_DISPLAY_BCC):
            // No recipients: an empty text, its terminating zero the payload.
            if (!m.recipients.empty() || !bytes(PT_STRING8, 1)) return Computed::Other;
            out.bytes[0] = 0;
            return Computed::Out;
        default:
            return Computed::Missing;
    }
}

const Value* stored_message_value(const PropertyBag& bag, ULONG tag)
{
    return PROP_ID(tag) == PROP_ID(PR_MESSAGE_FLAGS) ? nullptr : bag.find(tag);
}

void stored_message_values(const PropertyBag& bag, const ULONG* tags,
                           const std::vector<std::uint32_t>& order, const Value** out)
{
    bag.find_each(tags, order, out, PROP_ID(PR_MESSAGE_FLAGS));
}

std::vector<ULONG> message_tags(const Store* s, const Folder* folder, const Message& m,
                                const PropertyBag& bag)
{
    std::vector<ULONG> tags;
    add_bag(tags, bag);
    for (ULONG t :
         {PR_ENTRYID, PR_PARENT_ENTRYID, PR_RECORD_KEY, PR_SEARCH_KEY, PR_STORE_ENTRYID,
          PR_STORE_RECORD_KEY, PR_OBJECT_TYPE, PR_MESSAGE_SIZE, PR_HASATTACH, PR_ACCESS,
          PR_MSG_STATUS, PR_MESSAGE_FLAGS, PR_DISPLAY_TO_A, PR_DISPLAY_CC_A, PR_DISPLAY_BCC_A})
        if (auto v = message_prop(s, folder, m, bag, t); v && !v->is_error())
            add_unique(tags, v->tag());
    return tags;
}

} // namespace mapisim::mapi
