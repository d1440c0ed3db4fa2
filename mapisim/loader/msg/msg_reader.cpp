#include "mapisim/loader/msg/msg_reader.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/loader/msg/compound_file.h"
#include "mapisim/loader/outlook_values.h"

namespace mapisim::loader::msg {
namespace {

using model::NamedId;
using model::Value;

constexpr std::string_view kProperties = "__properties_version1.0";
constexpr std::string_view kNameId = "__nameid_version1.0";
constexpr std::string_view kRecipientPrefix = "__recip_version1.0_#";
constexpr std::string_view kAttachmentPrefix = "__attach_version1.0_#";

// Bytes before the property entries of "__properties_version1.0".
constexpr std::size_t kTopHeader = 32;
constexpr std::size_t kEmbeddedHeader = 24;
constexpr std::size_t kItemHeader = 8;
constexpr std::size_t kEntrySize = 16;

// Attached messages may nest; a damaged file must not recurse without end.
constexpr int kMaxDepth = 32;

std::uint32_t u32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

std::string stream_name(ULONG tag)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "__substg1.0_%08X", static_cast<unsigned>(tag));
    return buf;
}

// The item number of "prefix" + 8 hex digits; empty for other names.
std::optional<std::uint32_t> numbered(std::string_view name, std::string_view prefix)
{
    if (name.size() != prefix.size() + 8 || name.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    std::uint32_t n = 0;
    for (char c : name.substr(prefix.size())) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
        if (d < 0) return std::nullopt;
        n = n << 4 | static_cast<std::uint32_t>(d);
    }
    return n;
}

// The file's named properties: its identifiers 0x8000 and up to names.
std::map<ULONG, NamedId> read_names(const Storage& root)
{
    std::map<ULONG, NamedId> names;
    const auto storage = root.storage(kNameId);
    if (!storage) return names;
    const Bytes guids = storage->stream("__substg1.0_00020102").value_or(Bytes{});
    const Bytes entries = storage->stream("__substg1.0_00030102").value_or(Bytes{});
    const Bytes strings = storage->stream("__substg1.0_00040102").value_or(Bytes{});
    const std::string entries_place = storage->path_of("__substg1.0_00030102");
    for (std::size_t at = 0; at + 8 <= entries.size(); at += 8) {
        const std::uint32_t name_or_offset = u32(&entries[at]);
        const std::uint32_t index_and_kind = u32(&entries[at + 4]);
        const ULONG id = 0x8000 + (index_and_kind >> 16);
        const std::uint32_t guid_index = (index_and_kind >> 1) & 0x7FFF;
        NamedId name;
        if (guid_index == 1) {
            name.guid = model::PS_MAPI;
        } else if (guid_index == 2) {
            name.guid = model::PS_PUBLIC_STRINGS;
        } else if (guid_index >= 3) {
            const std::size_t g = (guid_index - 3) * std::size_t{16};
            if (g + 16 > guids.size())
                throw ReadFailure(entries_place, "entry " + std::to_string(at / 8) +
                                                     " names a property set the file lacks");
            std::memcpy(&name.guid, &guids[g], 16);
        }
        if (index_and_kind & 1) {
            const std::size_t off = name_or_offset;
            if (off + 4 > strings.size() || u32(&strings[off]) > strings.size() - off - 4)
                throw ReadFailure(entries_place, "entry " + std::to_string(at / 8) +
                                                     " points past the names stream");
            name.kind = MNID_STRING;
            name.name = outlook::utf16le(&strings[off + 4], u32(&strings[off]));
            while (!name.name.empty() && name.name.back() == u'\0') name.name.pop_back();
        } else {
            name.kind = MNID_ID;
            name.lid = static_cast<LONG>(name_or_offset);
        }
        names[id] = std::move(name);
    }
    return names;
}

class Reader {
public:
    Reader(model::Store& store, std::map<ULONG, NamedId> names)
        : store_(store), names_(std::move(names))
    {}

    std::shared_ptr<model::Message> message(const Storage& s, std::size_t header, int depth)
    {
        if (depth > kMaxDepth) throw ReadFailure(s.path(), "attached messages nested too deep");
        auto m = std::make_shared<model::Message>();
        read_props(s, header, m->props);
        std::map<std::uint32_t, std::string> recipients, attachments;
        for (const auto& e : s.entries()) {
            if (!e.is_storage) continue;
            if (auto n = numbered(e.name, kRecipientPrefix)) recipients[*n] = e.name;
            if (auto n = numbered(e.name, kAttachmentPrefix)) attachments[*n] = e.name;
        }
        for (const auto& [n, name] : recipients) {
            model::Recipient r;
            read_props(*s.storage(name), kItemHeader, r.props);
            m->recipients.push_back(std::move(r));
        }
        for (const auto& [n, name] : attachments)
            m->add_attachment(attachment(*s.storage(name), depth));
        if (auto flags = m->props.i4(PR_MESSAGE_FLAGS))
            m->associated = (*flags & MSGFLAG_ASSOCIATED) != 0;
        return m;
    }

private:
    model::Attachment attachment(const Storage& s, int depth)
    {
        model::Attachment a;
        read_props(s, kItemHeader, a.props);
        if (a.props.i4(PR_ATTACH_METHOD) == static_cast<std::int32_t>(ATTACH_EMBEDDED_MSG)) {
            if (auto inner = s.storage(stream_name(PR_ATTACH_DATA_OBJ)))
                a.embedded = message(*inner, kEmbeddedHeader, depth + 1);
            // Outlook shows an attached message by its subject.
            if (a.embedded && !a.props.contains(PR_DISPLAY_NAME_A))
                if (auto subject = a.embedded->props.get(PR_SUBJECT_A))
                    a.props.set(subject->with_id(PROP_ID(PR_DISPLAY_NAME_A)));
        }
        // Outlook leaves the size out of some files; it is the data's.
        if (!a.props.contains(PR_ATTACH_SIZE))
            if (const Value* data = a.props.find(PR_ATTACH_DATA_BIN))
                if (const auto* bytes = data->get<Bytes>())
                    a.props.set(
                        Value::i4(PR_ATTACH_SIZE, static_cast<std::int32_t>(bytes->size())));
        return a;
    }

    // The store's tag for a tag of the file: named properties take the
    // store's identifier for their name; 0 when the file does not name one.
    ULONG store_tag(ULONG tag)
    {
        if (PROP_ID(tag) < 0x8000) return tag;
        auto it = names_.find(PROP_ID(tag));
        if (it == names_.end()) return 0;
        const ULONG mapped = store_.named_tag(it->second, PROP_TYPE(tag));
        return mapped == PR_NULL ? 0 : mapped;
    }

    void read_props(const Storage& s, std::size_t header, model::PropertyBag& bag)
    {
        const auto stream = s.stream(kProperties);
        if (!stream) throw ReadFailure(s.path(), "no " + std::string(kProperties) + " stream");
        const Bytes& data = *stream;
        if (data.size() < header)
            throw ReadFailure(s.path_of(kProperties), "shorter than its header");
        for (std::size_t at = header; at + kEntrySize <= data.size(); at += kEntrySize) {
            const ULONG file_tag = u32(&data[at]);
            const ULONG tag = store_tag(file_tag);
            if (!tag) continue;
            if (auto v = value(s, file_tag, tag, &data[at + 8])) bag.set(std::move(*v));
        }
    }

    std::optional<Value> value(const Storage& s, ULONG file_tag, ULONG tag, const std::uint8_t* inl)
    {
        const ULONG type = PROP_TYPE(file_tag);
        if (auto v = outlook::fixed_value(tag, inl, 8)) return v;
        switch (type) {
            case PT_STRING8:
            case PT_UNICODE:
            case PT_BINARY:
            case PT_CLSID: {
                auto bytes = s.stream(stream_name(file_tag));
                if (!bytes) return std::nullopt;
                return outlook::variable_value(tag, std::move(*bytes));
            }
            case PT_MV_LONG: {
                auto bytes = s.stream(stream_name(file_tag));
                if (!bytes) return std::nullopt;
                return outlook::multi_long(tag, *bytes);
            }
            case PT_MV_STRING8:
            case PT_MV_UNICODE:
            case PT_MV_BINARY:
                return multi(s, file_tag, tag);
            default:
                return std::nullopt;
        }
    }

    // Items of a multi-valued text or binary property: a stream of their
    // lengths (4 bytes each for texts, 8 for binary) and one stream each.
    std::optional<Value> multi(const Storage& s, ULONG file_tag, ULONG tag)
    {
        const auto lengths = s.stream(stream_name(file_tag));
        if (!lengths) return std::nullopt;
        const std::size_t step = PROP_TYPE(file_tag) == PT_MV_BINARY ? 8 : 4;
        const std::size_t count = lengths->size() / step;
        std::vector<Bytes> items;
        items.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "-%08X", static_cast<unsigned>(i));
            const std::string name = stream_name(file_tag) + suffix;
            auto item = s.stream(name);
            if (!item)
                throw ReadFailure(s.path_of(name), "missing item of a multi-valued property");
            items.push_back(std::move(*item));
        }
        return outlook::multi_value(tag, std::move(items));
    }

    model::Store& store_;
    std::map<ULONG, NamedId> names_;
};

std::shared_ptr<model::Message> read(const CompoundFile& file, model::Store& store)
{
    const Storage root = file.root();
    Reader reader(store, read_names(root));
    return reader.message(root, kTopHeader, 0);
}

[[noreturn]] void fail(std::string_view origin, const ReadFailure& f)
{
    std::string text(origin);
    text += ": ";
    if (f.place != "/") text += f.place + ": ";
    text += f.what();
    throw MsgError(text);
}

} // namespace

std::shared_ptr<model::Message> read_msg_file(const std::string& path, model::Store& store)
{
    try {
        return read(CompoundFile::open_file(path), store);
    } catch (const ReadFailure& f) {
        fail(path, f);
    }
}

std::shared_ptr<model::Message> read_msg_bytes(const void* data, std::size_t size,
                                               std::string_view origin, model::Store& store)
{
    try {
        return read(CompoundFile::open_memory(data, size), store);
    } catch (const ReadFailure& f) {
        fail(origin, f);
    }
}

} // namespace mapisim::loader::msg
