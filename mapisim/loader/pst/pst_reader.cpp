#include "mapisim/loader/pst/pst_reader.h"

#include <libpff.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/loader/outlook_values.h"

namespace mapisim::loader::pst {
namespace {

using model::Bytes;
using model::NamedId;
using model::Value;

// Values larger than this are left out rather than read into memory.
constexpr std::size_t kMaxValue = 256u << 20;
// Attached messages may nest; a damaged file must not recurse without end.
constexpr int kMaxDepth = 32;

// A libpff error slot that frees what it holds.
class Error {
public:
    Error() = default;
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    ~Error() { clear(); }
    libpff_error_t** operator&() noexcept
    {
        clear();
        return &error_;
    }
    // libpff's text, on one line.
    std::string text() const
    {
        if (!error_) return "unknown error";
        char buf[512] = {};
        libpff_error_sprint(error_, buf, sizeof buf);
        std::string out;
        for (const char* p = buf; *p; ++p) {
            if (*p == '\n' || *p == '\r') {
                if (!out.empty() && out.back() != ' ') out += "; ";
            } else {
                out += *p;
            }
        }
        while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
        return out.empty() ? "unknown error" : out;
    }

private:
    void clear() noexcept
    {
        if (error_) libpff_error_free(&error_);
        error_ = nullptr;
    }
    libpff_error_t* error_ = nullptr;
};

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The open file; items keep it alive, so it closes after the last of them.
class File {
public:
    explicit File(const std::string& path)
    {
        Error e;
        if (libpff_file_initialize(&file_, &e) != 1) throw Failure(e.text());
        if (libpff_file_open(file_, path.c_str(), LIBPFF_OPEN_READ, &e) != 1) {
            const std::string why = e.text();
            libpff_file_free(&file_, nullptr);
            throw Failure("cannot open as a personal folders file (" + why + ")");
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File()
    {
        libpff_file_close(file_, nullptr);
        libpff_file_free(&file_, nullptr);
    }
    libpff_file_t* get() const noexcept { return file_; }

private:
    libpff_file_t* file_ = nullptr;
};

// An item of the file, freed with it.
class Item {
public:
    Item() = default;
    Item(std::shared_ptr<File> file, libpff_item_t* item) : file_(std::move(file)), item_(item) {}
    Item(Item&& o) noexcept : file_(std::move(o.file_)), item_(std::exchange(o.item_, nullptr)) {}
    Item& operator=(Item&& o) noexcept
    {
        std::swap(file_, o.file_);
        std::swap(item_, o.item_);
        return *this;
    }
    ~Item()
    {
        if (item_) libpff_item_free(&item_, nullptr);
    }
    libpff_item_t* get() const noexcept { return item_; }
    const std::shared_ptr<File>& file() const noexcept { return file_; }
    explicit operator bool() const noexcept { return item_ != nullptr; }

    std::uint32_t identifier() const
    {
        std::uint32_t id = 0;
        libpff_item_get_identifier(item_, &id, nullptr);
        return id;
    }

    // A related item through one of libpff's getters, or an empty one.
    template <class Getter, class... Args>
    Item related(Getter getter, Args... args) const
    {
        libpff_item_t* out = nullptr;
        Error e;
        if (getter(item_, args..., &out, &e) != 1 || !out) return {};
        return Item(file_, out);
    }

private:
    std::shared_ptr<File> file_;
    libpff_item_t* item_ = nullptr;
};

template <class T, int (*Free)(T**, libpff_error_t**)>
struct Owned {
    T* p = nullptr;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned()
    {
        if (p) Free(&p, nullptr);
    }
};
using RecordSet = Owned<libpff_record_set_t, libpff_record_set_free>;
using RecordEntry = Owned<libpff_record_entry_t, libpff_record_entry_free>;
using MultiValue = Owned<libpff_multi_value_t, libpff_multi_value_free>;

std::optional<NamedId> entry_name(libpff_record_entry_t* entry)
{
    libpff_name_to_id_map_entry_t* map = nullptr;
    if (libpff_record_entry_get_name_to_id_map_entry(entry, &map, nullptr) != 1 || !map)
        return std::nullopt;
    NamedId name;
    std::uint8_t guid[16] = {};
    if (libpff_name_to_id_map_entry_get_guid(map, guid, sizeof guid, nullptr) == 1)
        std::memcpy(&name.guid, guid, sizeof guid);
    std::uint8_t kind = 0;
    if (libpff_name_to_id_map_entry_get_type(map, &kind, nullptr) != 1) return std::nullopt;
    if (kind == LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_STRING) {
        std::size_t size = 0;
        if (libpff_name_to_id_map_entry_get_utf16_string_size(map, &size, nullptr) != 1 ||
            size == 0 || size > 4096)
            return std::nullopt;
        std::vector<std::uint16_t> text(size);
        if (libpff_name_to_id_map_entry_get_utf16_string(map, text.data(), size, nullptr) != 1)
            return std::nullopt;
        name.kind = MNID_STRING;
        for (std::uint16_t c : text) {
            if (!c) break;
            name.name.push_back(static_cast<char16_t>(c));
        }
    } else {
        std::uint32_t lid = 0;
        if (libpff_name_to_id_map_entry_get_number(map, &lid, nullptr) != 1) return std::nullopt;
        name.kind = MNID_ID;
        name.lid = static_cast<LONG>(lid);
    }
    return name;
}

std::optional<Value> entry_value(libpff_record_entry_t* entry, ULONG tag)
{
    std::size_t size = 0;
    if (libpff_record_entry_get_data_size(entry, &size, nullptr) != 1 || size > kMaxValue)
        return std::nullopt;
    const ULONG type = PROP_TYPE(tag);
    if (type == PT_MV_STRING8 || type == PT_MV_UNICODE || type == PT_MV_BINARY) {
        MultiValue mv;
        if (libpff_record_entry_get_multi_value(entry, &mv.p, nullptr) != 1 || !mv.p)
            return std::nullopt;
        int count = 0;
        if (libpff_multi_value_get_number_of_values(mv.p, &count, nullptr) != 1)
            return std::nullopt;
        std::vector<Bytes> items;
        for (int i = 0; i < count; ++i) {
            std::uint32_t item_type = 0;
            std::uint8_t* data = nullptr;
            std::size_t item_size = 0;
            if (libpff_multi_value_get_value(mv.p, i, &item_type, &data, &item_size, nullptr) != 1)
                return std::nullopt;
            items.emplace_back(data, data + (data ? item_size : 0));
        }
        return outlook::multi_value(tag, std::move(items));
    }
    Bytes data(size);
    if (size && libpff_record_entry_get_data(entry, data.data(), size, nullptr) != 1)
        return std::nullopt;
    if (auto v = outlook::fixed_value(tag, data.data(), data.size())) return v;
    if (type == PT_MV_LONG) return outlook::multi_long(tag, data);
    return outlook::variable_value(tag, std::move(data));
}

// A PST stores a subject as 0x01, the length of its reply or forward prefix,
// then the text; MAPI hands out the text alone.
Value without_prefix_mark(Value v)
{
    if (v.id() != PROP_ID(PR_SUBJECT_A)) return v;
    if (auto s = v.get<std::string>(); s && s->size() >= 2 && (*s)[0] == '\x01')
        return Value::string8(v.tag(), s->substr(2));
    if (auto w = v.get<std::u16string>(); w && w->size() >= 2 && (*w)[0] == u'\x01')
        return Value::unicode(v.tag(), w->substr(2));
    return v;
}

// Reads items' record sets into property bags, mapping named properties
// through the store's map.
class Reader {
public:
    explicit Reader(model::Store& store) : store_(store) {}

    void read_set(libpff_record_set_t* set, model::PropertyBag& bag)
    {
        int count = 0;
        if (libpff_record_set_get_number_of_entries(set, &count, nullptr) != 1) return;
        for (int i = 0; i < count; ++i) {
            RecordEntry entry;
            if (libpff_record_set_get_entry_by_index(set, i, &entry.p, nullptr) != 1) continue;
            std::uint32_t id = 0, type = 0;
            if (libpff_record_entry_get_entry_type(entry.p, &id, nullptr) != 1 ||
                libpff_record_entry_get_value_type(entry.p, &type, nullptr) != 1 || id > 0xFFFF)
                continue;
            ULONG tag = PROP_TAG(type, id);
            if (id >= 0x8000) {
                const auto name = entry_name(entry.p);
                if (!name) continue;
                tag = store_.named_tag(*name, type);
                if (tag == PR_NULL) continue;
            }
            if (auto v = entry_value(entry.p, tag)) bag.set(without_prefix_mark(std::move(*v)));
        }
    }

    // The item's first record set (its own properties).
    void read_props(const Item& item, model::PropertyBag& bag)
    {
        RecordSet set;
        Error e;
        if (libpff_item_get_record_set_by_index(item.get(), 0, &set.p, &e) != 1) return;
        read_set(set.p, bag);
    }

    std::shared_ptr<model::Message> message(const Item& item, int depth)
    {
        if (depth > kMaxDepth) throw Failure("attached messages nested too deep");
        auto m = std::make_shared<model::Message>();
        read_props(item, m->props);
        if (Item recipients = item.related(libpff_message_get_recipients)) {
            int sets = 0;
            libpff_item_get_number_of_record_sets(recipients.get(), &sets, nullptr);
            for (int i = 0; i < sets; ++i) {
                RecordSet set;
                if (libpff_item_get_record_set_by_index(recipients.get(), i, &set.p, nullptr) != 1)
                    continue;
                model::Recipient r;
                read_set(set.p, r.props);
                m->recipients.push_back(std::move(r));
            }
        }
        int attachments = 0;
        libpff_message_get_number_of_attachments(item.get(), &attachments, nullptr);
        for (int i = 0; i < attachments; ++i)
            if (Item a = item.related(libpff_message_get_attachment, i))
                m->add_attachment(attachment(a, depth));
        if (auto flags = m->props.i4(PR_MESSAGE_FLAGS))
            m->associated = (*flags & MSGFLAG_ASSOCIATED) != 0;
        return m;
    }

private:
    model::Attachment attachment(const Item& item, int depth)
    {
        model::Attachment a;
        read_props(item, a.props);
        int kind = 0;
        libpff_attachment_get_type(item.get(), &kind, nullptr);
        if (kind == LIBPFF_ATTACHMENT_TYPE_ITEM) {
            if (Item inner = item.related(libpff_attachment_get_item))
                a.embedded = message(inner, depth + 1);
            a.props.erase(PR_ATTACH_DATA_BIN);
        } else if (kind == LIBPFF_ATTACHMENT_TYPE_DATA && !a.props.contains(PR_ATTACH_DATA_BIN)) {
            size64_t size = 0;
            if (libpff_attachment_get_data_size(item.get(), &size, nullptr) == 1 &&
                size <= kMaxValue) {
                Bytes data(static_cast<std::size_t>(size));
                if (libpff_attachment_data_seek_offset(item.get(), 0, SEEK_SET, nullptr) >= 0 &&
                    libpff_attachment_data_read_buffer(item.get(), data.data(), data.size(),
                                                       nullptr) == static_cast<ssize_t>(size))
                    a.props.set(Value::binary(PR_ATTACH_DATA_BIN, std::move(data)));
            }
        }
        return a;
    }

    model::Store& store_;
};

// Folder counts the file records, shown until the messages are read in
// and the stand-in counts them itself.
constexpr ULONG kRecordedCounts[] = {PR_CONTENT_COUNT, PR_CONTENT_UNREAD, PR_ASSOC_CONTENT_COUNT};

class FolderMessages : public model::MessageSource {
public:
    FolderMessages(Item folder, std::weak_ptr<model::Store> store)
        : folder_(std::move(folder)), store_(std::move(store))
    {}

    void load(model::Folder& target) noexcept override
    {
        auto store = store_.lock();
        if (!store) return;
        try {
            for (ULONG tag : kRecordedCounts) target.props.erase(tag);
            Reader reader(*store);
            read_all(reader, *store, target, libpff_folder_get_number_of_sub_messages,
                     libpff_folder_get_sub_message);
            read_all(reader, *store, target, libpff_folder_get_number_of_sub_associated_contents,
                     libpff_folder_get_sub_associated_content);
        } catch (...) {
            // Out of memory part way: the folder keeps the messages read so far.
        }
    }

private:
    template <class Count, class Get>
    void read_all(Reader& reader, model::Store& store, model::Folder& target, Count count_of,
                  Get get)
    {
        int count = 0;
        if (count_of(folder_.get(), &count, nullptr) != 1) return;
        const bool associated = reinterpret_cast<void*>(get) ==
                                reinterpret_cast<void*>(&libpff_folder_get_sub_associated_content);
        for (int i = 0; i < count; ++i) {
            Item item = folder_.related(get, i);
            if (!item) continue; // an unreadable message is left out
            std::shared_ptr<model::Message> m;
            try {
                m = reader.message(item, 0);
            } catch (const Failure&) {
                continue;
            }
            m->associated = m->associated || associated;
            store.attach_message(target, std::move(m));
        }
    }

    Item folder_;
    std::weak_ptr<model::Store> store_;
};

// Entry identifiers in the store's properties end with the node identifier
// of the folder they name.
std::optional<std::uint32_t> node_of(const model::PropertyBag& props, ULONG tag)
{
    const Value* v = props.find(tag);
    const Bytes* b = v ? v->get<Bytes>() : nullptr;
    if (!b || b->size() < 24) return std::nullopt;
    const std::uint8_t* p = b->data() + b->size() - 4;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

class TreeBuilder {
public:
    TreeBuilder(std::shared_ptr<model::Store> store) : store_(std::move(store)), reader_(*store_) {}

    void add(Item folder, model::Folder& node, int depth)
    {
        if (depth > 64) return; // a damaged tree could loop
        nodes_[folder.identifier()] = node.number();
        reader_.read_props(folder, node.props);
        node.props.erase(PR_SUBFOLDERS);
        int count = 0;
        libpff_folder_get_number_of_sub_folders(folder.get(), &count, nullptr);
        for (int i = 0; i < count; ++i) {
            Item sub = folder.related(libpff_folder_get_sub_folder, i);
            if (!sub) continue;
            auto child = std::make_shared<model::Folder>();
            store_->attach_folder(node, child);
            add(std::move(sub), *child, depth + 1);
        }
        node.set_message_source(std::make_shared<FolderMessages>(std::move(folder), store_));
    }

    std::uint32_t number_of(std::optional<std::uint32_t> node) const
    {
        if (!node) return 0;
        auto it = nodes_.find(*node);
        return it == nodes_.end() ? 0 : it->second;
    }

private:
    std::shared_ptr<model::Store> store_;
    Reader reader_;
    std::map<std::uint32_t, std::uint32_t> nodes_; // file node -> folder number
};

// The store's properties, special folders and folder tree from the file.
void fill(const std::shared_ptr<model::Store>& store, const Item& store_item, Item root)
{
    Reader reader(*store);
    if (store_item) reader.read_props(store_item, store->props);
    if (auto name = store->props.text(PR_DISPLAY_NAME_A); name && !name->empty())
        store->display_name = *name;
    TreeBuilder tree(store);
    tree.add(std::move(root), *store->root(), 0);
    const auto& props = store->props;
    store->ipm_subtree = tree.number_of(node_of(props, PR_IPM_SUBTREE_ENTRYID));
    store->wastebasket = tree.number_of(node_of(props, PR_IPM_WASTEBASKET_ENTRYID));
    store->outbox = tree.number_of(node_of(props, PR_IPM_OUTBOX_ENTRYID));
    store->sentmail = tree.number_of(node_of(props, PR_IPM_SENTMAIL_ENTRYID));
    store->views = tree.number_of(node_of(props, PR_VIEWS_ENTRYID));
    store->common_views = tree.number_of(node_of(props, PR_COMMON_VIEWS_ENTRYID));
    store->finder = tree.number_of(node_of(props, PR_FINDER_ENTRYID));
    // The stand-in gives these from the model; the file's would disagree.
    for (ULONG tag : {PR_DISPLAY_NAME_A, PR_IPM_SUBTREE_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID,
                      PR_IPM_OUTBOX_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_VIEWS_ENTRYID,
                      PR_COMMON_VIEWS_ENTRYID, PR_FINDER_ENTRYID, PR_ENTRYID, PR_RECORD_KEY})
        store->props.erase(tag);
    if (!store->ipm_subtree)
        if (auto top = store->root()->find_subfolder("Top of Personal Folders"))
            store->ipm_subtree = top->number();
    // A PST keeps no receive-folder table: mail arrives in the Inbox.
    if (auto top = store->find_folder(store->ipm_subtree))
        if (auto inbox = top->find_subfolder("Inbox")) store->set_receive_folder("", *inbox);
}

std::shared_ptr<model::Store> open(model::Profile& profile, const std::string& path)
{
    {
        Error e;
        const int sig = libpff_check_file_signature(path.c_str(), &e);
        if (sig == -1) throw Failure("cannot read (" + e.text() + ")");
        if (sig == 0) throw Failure("not a personal folders file (no !BDN signature)");
    }
    auto file = std::make_shared<File>(path);
    Item store_item, root;
    {
        libpff_item_t* out = nullptr;
        Error e;
        if (libpff_file_get_message_store(file->get(), &out, &e) == 1 && out)
            store_item = Item(file, out);
        out = nullptr;
        if (libpff_file_get_root_folder(file->get(), &out, &e) != 1 || !out)
            throw Failure("the folder tree: " + e.text());
        root = Item(file, out);
    }
    auto store = profile.add_store("Personal Folders", "Personal Folders");
    try {
        fill(store, store_item, std::move(root));
    } catch (...) {
        profile.stores.pop_back();
        throw;
    }
    return store;
}

} // namespace

std::shared_ptr<model::Store> open_pst(model::Profile& profile, const std::string& path)
{
    try {
        return open(profile, path);
    } catch (const Failure& f) {
        throw PstError(path + ": " + f.what());
    }
}

} // namespace mapisim::loader::pst
