#include "mapisim/model/mailbox.h"

#include <algorithm>

#include "mapisim/decl/mapitags.h"

namespace mapisim::model {

std::string fold_case(std::string_view s)
{
    std::string out(s);
    for (char& ch : out) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c + 32);
        else if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            c = static_cast<unsigned char>(c + 32);
        else if (c == 0x8A || c == 0x8C || c == 0x8E)
            c = static_cast<unsigned char>(c + 16);
        else if (c == 0x9F)
            c = 0xFF;
        ch = static_cast<char>(c);
    }
    return out;
}

bool equal_nocase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && fold_case(a) == fold_case(b);
}

Attachment Attachment::by_value(const std::string& filename, Bytes data)
{
    Attachment a;
    a.props.set(Value::i4(PR_ATTACH_METHOD, ATTACH_BY_VALUE));
    a.props.set(Value::string8(PR_ATTACH_FILENAME_A, filename));
    a.props.set(Value::string8(PR_ATTACH_LONG_FILENAME_A, filename));
    a.props.set(Value::string8(PR_DISPLAY_NAME_A, filename));
    a.props.set(Value::i4(PR_ATTACH_SIZE, static_cast<std::int32_t>(data.size())));
    a.props.set(Value::binary(PR_ATTACH_DATA_BIN, std::move(data)));
    return a;
}

Attachment Attachment::by_reference(const std::string& path)
{
    Attachment a;
    a.props.set(Value::i4(PR_ATTACH_METHOD, ATTACH_BY_REFERENCE));
    a.props.set(Value::string8(PR_ATTACH_PATHNAME_A, path));
    const auto slash = path.find_last_of("\\/");
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    a.props.set(Value::string8(PR_ATTACH_LONG_FILENAME_A, file));
    a.props.set(Value::string8(PR_DISPLAY_NAME_A, file));
    return a;
}

Attachment Attachment::embedded_message(std::shared_ptr<Message> msg)
{
    Attachment a;
    a.props.set(Value::i4(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG));
    if (msg)
        if (auto subject = msg->props.text(PR_SUBJECT_A))
            a.props.set(Value::string8(PR_DISPLAY_NAME_A, *subject));
    a.embedded = std::move(msg);
    return a;
}

Recipient& Message::add_recipient(ULONG type, const std::string& name, const std::string& addrtype,
                                  const std::string& address)
{
    Recipient r;
    r.props.set(Value::i4(PR_RECIPIENT_TYPE, static_cast<std::int32_t>(type)));
    r.props.set(Value::string8(PR_DISPLAY_NAME_A, name));
    r.props.set(Value::string8(PR_ADDRTYPE_A, addrtype));
    r.props.set(Value::string8(PR_EMAIL_ADDRESS_A, address));
    recipients.push_back(std::move(r));
    touch();
    return recipients.back();
}

ULONG Message::add_attachment(Attachment a)
{
    for (auto& existing : attachments) next_attach_ = std::max(next_attach_, existing.number + 1);
    a.number = next_attach_++;
    a.props.set(Value::i4(PR_ATTACH_NUM, static_cast<std::int32_t>(a.number)));
    attachments.push_back(std::move(a));
    touch();
    return attachments.back().number;
}

Attachment* Message::find_attachment(ULONG number)
{
    for (auto& a : attachments)
        if (a.number == number) return &a;
    return nullptr;
}

std::shared_ptr<Message> Message::clone() const
{
    auto copy = std::make_shared<Message>();
    copy->props = props;
    copy->recipients = recipients;
    copy->attachments = attachments;
    copy->associated = associated;
    copy->next_attach_ = next_attach_;
    for (auto& a : copy->attachments)
        if (a.embedded) a.embedded = a.embedded->clone();
    return copy;
}

void Folder::load_messages() const
{
    // Taken out first, so that the source's own calls see a plain folder.
    const auto source = std::move(source_);
    source_.reset();
    // Nodes are only ever made non-const (make_shared), so this is sound.
    source->load(const_cast<Folder&>(*this));
}

Folder::MessageCounts Folder::message_counts() const
{
    const auto& all = messages(); // first, as reading them in moves the generation
    if (counts_generation_ == generation()) return counts_;
    MessageCounts counts;
    for (const auto& m : all) {
        if (m->associated) {
            ++counts.associated;
            continue;
        }
        ++counts.normal;
        const auto flags = m->props.i4(PR_MESSAGE_FLAGS);
        if (flags && !(*flags & MSGFLAG_READ)) ++counts.unread;
    }
    counts_ = counts;
    counts_generation_ = generation();
    return counts;
}

std::string Folder::display_name() const { return props.text(PR_DISPLAY_NAME_A).value_or(""); }

std::shared_ptr<Folder> Folder::clone(bool with_subfolders) const
{
    auto copy = std::make_shared<Folder>();
    copy->props = props;
    copy->folder_type = folder_type == FOLDER_ROOT ? FOLDER_GENERIC : folder_type;
    for (auto& m : messages()) copy->messages_.push_back(m->clone());
    if (with_subfolders)
        for (auto& f : subfolders_) copy->subfolders_.push_back(f->clone(true));
    return copy;
}

std::shared_ptr<Folder> Folder::find_subfolder(const std::string& name) const
{
    for (auto& f : subfolders_)
        if (equal_nocase(f->display_name(), name)) return f;
    return nullptr;
}

Store::Store(std::uint32_t number, std::string display, std::string provider)
    : display_name(std::move(display)), provider_display(std::move(provider)), number_(number)
{
    root_ = std::make_shared<Folder>();
    root_->folder_type = FOLDER_ROOT;
    root_->number_ = allocate_number();
    root_->props.set(Value::string8(PR_DISPLAY_NAME_A, ""));
    index(root_);
}

ULONG Store::named_tag(const NamedId& name, ULONG type)
{
    const ULONG id = names.id_of(name);
    return id ? PROP_TAG(type, id) : PR_NULL;
}

std::shared_ptr<Folder> Store::add_folder(Folder& parent, const std::string& name,
                                          const std::string& container_class)
{
    auto f = std::make_shared<Folder>();
    f->props.set(Value::string8(PR_DISPLAY_NAME_A, name));
    if (!container_class.empty())
        f->props.set(Value::string8(PR_CONTAINER_CLASS_A, container_class));
    attach_folder(parent, f);
    return f;
}

std::shared_ptr<Message> Store::add_message(Folder& folder, bool associated)
{
    auto m = std::make_shared<Message>();
    m->associated = associated;
    attach_message(folder, m);
    return m;
}

void Store::attach_message(Folder& parent, std::shared_ptr<Message> msg)
{
    if (!msg) return;
    touch();
    if (!msg->number_) msg->number_ = allocate_number();
    msg->parent_ = parent.weak_from_this();
    msg->parent_at_ = &parent;
    parent.messages_.push_back(msg);
    index(msg);
}

void Store::attach_folder(Folder& parent, std::shared_ptr<Folder> folder)
{
    if (!folder) return;
    touch();
    if (!folder->number_) folder->number_ = allocate_number();
    folder->parent_ = parent.weak_from_this();
    folder->parent_at_ = &parent;
    parent.subfolders_.push_back(folder);
    // Numbers for everything below that came without.
    std::vector<std::shared_ptr<Folder>> todo{folder};
    while (!todo.empty()) {
        auto f = todo.back();
        todo.pop_back();
        index(f);
        for (auto& m : f->messages_) {
            if (!m->number_) m->number_ = allocate_number();
            m->parent_ = f;
            m->parent_at_ = f.get();
            index(m);
        }
        for (auto& sub : f->subfolders_) {
            if (!sub->number_) sub->number_ = allocate_number();
            sub->parent_ = f;
            sub->parent_at_ = f.get();
            todo.push_back(sub);
        }
    }
}

bool Store::detach_message(Message& msg)
{
    auto parent = msg.parent_.lock();
    if (!parent) return false;
    auto& v = parent->messages_;
    auto it = std::find_if(v.begin(), v.end(), [&](auto& p) { return p.get() == &msg; });
    if (it == v.end()) return false;
    touch();
    msg.parent_.reset();
    msg.parent_at_ = nullptr;
    v.erase(it);
    return true;
}

bool Store::detach_folder(Folder& folder)
{
    auto parent = folder.parent_.lock();
    if (!parent) return false;
    auto& v = parent->subfolders_;
    auto it = std::find_if(v.begin(), v.end(), [&](auto& p) { return p.get() == &folder; });
    if (it == v.end()) return false;
    touch();
    folder.parent_.reset();
    folder.parent_at_ = nullptr;
    v.erase(it);
    return true;
}

// Asked on every call on a message or folder. Nothing frees a folder while
// this walks (the model changes under the stand-in lock), so a parent whose
// weak pointer has not expired is reached by its address, without taking a
// reference at each level.
bool Store::contains(const Folder& f) const
{
    const Folder* cur = &f;
    for (int depth = 0; depth < 100000; ++depth) {
        if (cur == root_.get()) return true;
        if (cur->parent_.expired()) return false;
        cur = cur->parent_at_;
    }
    return false;
}

bool Store::contains(const Message& m) const
{
    return !m.parent_.expired() && contains(*m.parent_at_);
}

void Store::index(const std::shared_ptr<Folder>& f) { folders_[f->number_] = f; }
void Store::index(const std::shared_ptr<Message>& m) { messages_[m->number_] = m; }

void Store::reindex() const
{
    folders_.clear();
    messages_.clear();
    std::vector<std::shared_ptr<Folder>> todo{root_};
    while (!todo.empty()) {
        auto f = todo.back();
        todo.pop_back();
        folders_[f->number_] = f;
        for (auto& m : f->messages_) messages_[m->number_] = m;
        for (auto& sub : f->subfolders_) todo.push_back(sub);
    }
}

std::shared_ptr<Folder> Store::find_folder(std::uint32_t number) const
{
    if (!number) return nullptr;
    for (int pass = 0; pass < 2; ++pass) {
        auto it = folders_.find(number);
        if (it != folders_.end()) {
            auto f = it->second.lock();
            if (f && f->number_ == number && contains(*f)) return f;
        }
        if (pass == 0) reindex();
    }
    return nullptr;
}

std::shared_ptr<Message> Store::find_message(std::uint32_t number) const
{
    if (!number) return nullptr;
    for (int pass = 0; pass < 2; ++pass) {
        auto it = messages_.find(number);
        if (it != messages_.end()) {
            auto m = it->second.lock();
            if (m && m->number_ == number && contains(*m)) return m;
        }
        if (pass == 0) reindex();
    }
    return nullptr;
}

void Store::set_receive_folder(const std::string& message_class, const Folder& folder)
{
    const std::string key = fold_case(message_class);
    touch();
    receive_[key] = folder.number();
    receive_names_[key] = message_class;
}

std::pair<std::uint32_t, std::string> Store::receive_folder(const std::string& message_class) const
{
    std::string key = fold_case(message_class);
    for (;;) {
        auto it = receive_.find(key);
        if (it != receive_.end()) return {it->second, receive_names_.at(key)};
        if (key.empty()) return {0, ""};
        const auto dot = key.find_last_of('.');
        key = dot == std::string::npos ? std::string() : key.substr(0, dot);
    }
}

} // namespace mapisim::model
