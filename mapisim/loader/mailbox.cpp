// The walk through a description: settings and script, profiles with
// their status rows, address books and stores, folders, messages,
// recipients, attachments and named properties.
#include <cstdio>
#include <cstring>

#include "mapisim/loader/description.h"
#include "mapisim/rtfcomp/lzfu.h"

namespace mapisim::loader::description {

namespace {

// The length of a subject's prefix ("RE: ") as a store computes it: one to
// three letters followed by a colon and a space; 0 when there is none.
std::size_t subject_prefix_length(std::string_view subject)
{
    auto is_letter = [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               (c >= 0xC0 && c != 0xD7 && c != 0xF7);
    };
    std::size_t letters = 0;
    while (letters < subject.size() && letters < 4 &&
           is_letter(static_cast<unsigned char>(subject[letters])))
        ++letters;
    const bool prefixed = letters >= 1 && letters <= 3 && subject.size() >= letters + 2 &&
                          subject[letters] == ':' && subject[letters + 1] == ' ';
    return prefixed ? letters + 2 : 0;
}

} // namespace

void Loader::load(const J& top)
{
    need_object(top, "a mailbox description");
    check_members(top, {"version", "registry", "file_versions", "settings", "script", "profiles"},
                  "the description");
    if (const J* v = member(top, "version")) {
        Step step(*this, "version");
        if (whole(*v, INT64_MIN, INT64_MAX) != 1) fail(*v, "only version 1 is known");
    }
    if (const J* v = member(top, "registry")) {
        Step step(*this, "registry");
        load_registry(*v);
    }
    if (const J* v = member(top, "file_versions")) {
        Step step(*this, "file_versions");
        load_versions(*v);
    }
    if (const J* v = member(top, "settings")) {
        Step step(*this, "settings");
        load_settings(*v);
    }
    if (const J* v = member(top, "script")) {
        Step step(*this, "script");
        load_script(*v);
    }
    if (const J* v = member(top, "profiles")) {
        Step step(*this, "profiles");
        need_array(*v);
        std::set<std::string> names;
        for (std::size_t i = 0; i < v->items().size(); ++i) {
            Step item(*this, i);
            load_profile(v->items()[i], names);
        }
    }
}

void Loader::load_settings(const J& v)
{
    need_object(v, "settings");
    check_members(v, {"getprops_limit", "queryrows_cap", "short_term_ids_in_tables"}, "settings");
    model::Settings& s = world->settings;
    if (const J* x = member(v, "getprops_limit")) {
        Step step(*this, "getprops_limit");
        s.getprops_limit = static_cast<std::uint32_t>(whole(*x, 0, UINT32_MAX));
    }
    if (const J* x = member(v, "queryrows_cap")) {
        Step step(*this, "queryrows_cap");
        s.queryrows_cap = static_cast<std::uint32_t>(whole(*x, 0, UINT32_MAX));
    }
    if (const J* x = member(v, "short_term_ids_in_tables")) {
        Step step(*this, "short_term_ids_in_tables");
        s.short_term_ids_in_tables = boolean(*x);
    }
}

void Loader::load_script(const J& v)
{
    need_object(v, "a script");
    check_members(v, {"logon_choice", "show_form_result", "address_dialog_result"}, "a script");
    model::Script& s = world->script;
    if (const J* x = member(v, "logon_choice")) {
        Step step(*this, "logon_choice");
        s.logon_choice = text8(*x);
    }
    if (const J* x = member(v, "show_form_result")) {
        Step step(*this, "show_form_result");
        s.show_form_result = whole32(*x);
    }
    if (const J* x = member(v, "address_dialog_result")) {
        Step step(*this, "address_dialog_result");
        s.address_dialog_result = whole32(*x);
    }
}

void Loader::load_profile(const J& v, std::set<std::string>& names)
{
    need_object(v, "a profile");
    check_members(v, {"name", "default", "spooler", "status_rows", "address_book", "stores"},
                  "a profile");
    std::string name;
    {
        Step step(*this, "name");
        const J& n = required(v, "name");
        name = text8(n);
        if (name.empty()) fail(n, "a profile needs a name");
        if (!names.insert(model::fold_case(name)).second)
            fail(n, "a profile named " + quote(name) + " is already in the file");
    }
    bool is_default = false;
    if (const J* d = member(v, "default")) {
        Step step(*this, "default");
        is_default = boolean(*d);
    }
    model::Profile& p = world->add_profile(name, is_default);
    if (const J* sp = member(v, "spooler")) {
        Step step(*this, "spooler");
        if (sp->is_bool() && !sp->boolean()) {
            p.has_spooler = false;
        } else {
            need_object(*sp, "a spooler: false, or an object");
            check_members(*sp, {"status"}, "a spooler");
            if (const J* st = member(*sp, "status")) {
                Step s2(*this, "status");
                p.spooler_status = flags(*st, kStatusFlags);
            }
        }
    }
    if (const J* rows = member(v, "status_rows")) {
        Step step(*this, "status_rows");
        need_array(*rows);
        for (std::size_t i = 0; i < rows->items().size(); ++i) {
            Step item(*this, i);
            load_status_row(p, rows->items()[i]);
        }
    }
    if (const J* ab = member(v, "address_book")) {
        Step step(*this, "address_book");
        need_array(*ab);
        for (std::size_t i = 0; i < ab->items().size(); ++i) {
            Step item(*this, i);
            load_container(p, ab->items()[i]);
        }
    }
    if (const J* stores = member(v, "stores")) {
        Step step(*this, "stores");
        need_array(*stores);
        for (std::size_t i = 0; i < stores->items().size(); ++i) {
            Step item(*this, i);
            load_store(p, stores->items()[i]);
        }
    }
}

void Loader::load_status_row(model::Profile& p, const J& v)
{
    need_object(v, "a status row");
    check_members(v, {"name", "provider", "type", "resource_flags", "status"}, "a status row",
                  true);
    model::StatusRow r;
    {
        Step step(*this, "name");
        r.display_name = text8(required(v, "name"));
    }
    if (const J* x = member(v, "provider")) {
        Step step(*this, "provider");
        r.provider_display = text8(*x);
    }
    if (const J* x = member(v, "type")) {
        Step step(*this, "type");
        r.resource_type = static_cast<ULONG>(choice(*x, kResourceTypes, 0, UINT32_MAX));
    }
    if (const J* x = member(v, "resource_flags")) {
        Step step(*this, "resource_flags");
        r.resource_flags = flags(*x, kResourceFlags);
    }
    if (const J* x = member(v, "status")) {
        Step step(*this, "status");
        r.status_code = flags(*x, kStatusFlags);
    }
    Props props(*this, r.props);
    set_tags(props, v);
    p.status_rows.push_back(std::move(r));
}

void Loader::load_container(model::Profile& p, const J& v)
{
    need_object(v, "an address-book container");
    check_members(v, {"name", "pab", "entries"}, "an address-book container", true);
    std::string name;
    {
        Step step(*this, "name");
        name = text8(required(v, "name"));
    }
    bool pab = false;
    if (const J* x = member(v, "pab")) {
        Step step(*this, "pab");
        pab = boolean(*x);
        if (pab && p.address_book.pab) fail(*x, "the profile has a personal address book already");
    }
    model::AbContainer& c = p.address_book.add_container(name, pab);
    {
        Props props(*this, c.props);
        set_tags(props, v);
    }
    const J* entries = member(v, "entries");
    if (!entries) return;
    Step step(*this, "entries");
    need_array(*entries);
    for (std::size_t i = 0; i < entries->items().size(); ++i) {
        Step item(*this, i);
        const J& e = entries->items()[i];
        need_object(e, "an address-book entry");
        check_members(e, {}, "an address-book entry", true, {kAbEntryProps, kPersonProps});
        required(e, "name");
        model::AbEntry& entry = c.add_entry("", "", "");
        // Only what the file gives stays of what add_entry sets.
        entry.props.clear();
        Props props(*this, entry.props);
        for (const auto& [name, value] : e.members()) {
            if (set_friendly(props, Table(kAbEntryProps).find(name), name, value)) continue;
            if (set_friendly(props, Table(kPersonProps).find(name), name, value)) continue;
            set_tag(props, name, value);
        }
        if (!props.mentioned(PR_ADDRTYPE_A) && entry.props.contains(PR_EMAIL_ADDRESS_A))
            entry.props.set(M::string8(PR_ADDRTYPE_A, "SMTP"));
        if (!props.mentioned(PR_DISPLAY_TYPE)) entry.props.set(M::i4(PR_DISPLAY_TYPE, DT_MAILUSER));
    }
}

void Loader::load_store(model::Profile& p, const J& v)
{
    need_object(v, "a store");
    if (v.find("pst")) return load_pst_store(p, v);
    check_members(v,
                  {"name", "provider", "default", "resource_flags", "subtree", "folders",
                   "root_folders", "special", "receive_folders", "named_properties"},
                  "a store", true);
    std::string name, provider;
    {
        Step step(*this, "name");
        name = text8(required(v, "name"));
    }
    if (const J* x = member(v, "provider")) {
        Step step(*this, "provider");
        provider = text8(*x);
    }
    auto store = p.add_store(name, provider);
    model::Store& s = *store;
    if (const J* x = member(v, "default")) {
        Step step(*this, "default");
        s.is_default = boolean(*x);
    }
    if (const J* x = member(v, "resource_flags")) {
        Step step(*this, "resource_flags");
        s.resource_flags = flags(*x, kResourceFlags);
    }
    {
        Props props(*this, s.props);
        set_tags(props, v);
    }
    // Listed names take the first identifiers, whatever the messages use.
    if (const J* names = member(v, "named_properties")) {
        Step step(*this, "named_properties");
        need_array(*names);
        for (std::size_t i = 0; i < names->items().size(); ++i) {
            Step item(*this, i);
            const J& n = names->items()[i];
            need_object(n, "a named property");
            check_members(n, {"set", "name", "lid"}, "a named property");
            named_tag(s, n, named_id(n), PT_UNSPECIFIED);
        }
    }
    model::Folder* top = s.root().get();
    const J* subtree = v.find("subtree");
    if (!subtree || !subtree->is_null()) {
        std::string subtree_name = "Top of Information Store";
        if (subtree) {
            Step step(*this, "subtree");
            subtree_name = text8(*subtree);
        }
        auto f = s.add_folder(*s.root(), subtree_name);
        s.ipm_subtree = f->number();
        top = f.get();
    }
    if (const J* folders = member(v, "root_folders")) {
        Step step(*this, "root_folders");
        need_array(*folders);
        for (std::size_t i = 0; i < folders->items().size(); ++i) {
            Step item(*this, i);
            load_folder(s, *s.root(), folders->items()[i]);
        }
    }
    if (const J* folders = member(v, "folders")) {
        Step step(*this, "folders");
        need_array(*folders);
        for (std::size_t i = 0; i < folders->items().size(); ++i) {
            Step item(*this, i);
            load_folder(s, *top, folders->items()[i]);
        }
    }
    if (const J* special = member(v, "special")) {
        Step step(*this, "special");
        need_object(*special, "special folders");
        check_members(
            *special,
            {"inbox", "outbox", "sent_items", "deleted_items", "views", "common_views", "finder"},
            "special folders");
        for (const auto& [kind, path] : special->members()) {
            if (path.is_null()) continue;
            Step step2(*this, kind);
            const auto f = resolve(s, *top, path);
            if (kind == "inbox")
                s.set_receive_folder("", *f);
            else
                (kind == "outbox"          ? s.outbox
                 : kind == "sent_items"    ? s.sentmail
                 : kind == "deleted_items" ? s.wastebasket
                 : kind == "views"         ? s.views
                 : kind == "common_views"  ? s.common_views
                                           : s.finder) = f->number();
        }
    }
    if (const J* receive = member(v, "receive_folders")) {
        Step step(*this, "receive_folders");
        need_object(*receive, "receive folders by message class");
        for (const auto& [cls, path] : receive->members()) {
            Step step2(*this, cls);
            if (path.is_null()) continue;
            const std::string message_class = to_cp1252(path, cls);
            s.set_receive_folder(message_class, *resolve(s, *top, path));
        }
    }
}

std::shared_ptr<model::Folder> Loader::resolve(model::Store& s, model::Folder& top, const J& v)
{
    std::vector<std::string> names;
    std::shared_ptr<model::Folder> f = top.shared_from_this();
    if (v.is_array()) {
        if (v.items().empty()) fail(v, "an empty folder path");
        for (std::size_t i = 0; i < v.items().size(); ++i) {
            Step item(*this, i);
            names.push_back(text8(v.items()[i]));
        }
    } else {
        std::string p = text8(v);
        if (p.empty()) fail(v, "an empty folder path");
        if (p[0] == '/') {
            f = s.root();
            p.erase(0, 1);
        }
        if (!p.empty()) {
            std::size_t start = 0;
            for (;;) {
                const std::size_t slash = p.find('/', start);
                names.push_back(p.substr(start, slash - start));
                if (slash == std::string::npos) break;
                start = slash + 1;
            }
        }
    }
    std::string walked;
    for (const std::string& n : names) {
        if (n.empty()) fail(v, "an empty folder name in the path");
        auto next = f->find_subfolder(n);
        if (!next)
            fail(v, "no folder " + quote(n) +
                        (walked.empty() ? std::string() : " in " + quote(walked)));
        walked += walked.empty() ? n : "/" + n;
        f = next;
    }
    return f;
}

void Loader::load_folder(model::Store& s, model::Folder& parent, const J& v)
{
    need_object(v, "a folder");
    check_members(v, {"name", "class", "comment", "folders", "messages", "associated", "msg_files"},
                  "a folder", true);
    std::string name;
    {
        Step step(*this, "name");
        const J& n = required(v, "name");
        name = text8(n);
        if (parent.find_subfolder(name))
            fail(n, "a folder named " + quote(name) + " is already in this folder");
    }
    auto folder = s.add_folder(parent, name);
    model::Folder& f = *folder;
    {
        Props props(*this, f.props);
        props.set(v, "name", M::string8(PR_DISPLAY_NAME_A, name));
        if (const J* c = v.find("class")) {
            Step step(*this, "class");
            if (c->is_null())
                props.leave_out(*c, "class", PR_CONTAINER_CLASS_A);
            else
                props.set(*c, "class", M::string8(PR_CONTAINER_CLASS_A, text8(*c)));
        }
        if (const J* c = v.find("comment")) {
            Step step(*this, "comment");
            if (c->is_null())
                props.leave_out(*c, "comment", PR_COMMENT_A);
            else
                props.set(*c, "comment", M::string8(PR_COMMENT_A, lines8(*c)));
        }
        set_tags(props, v);
    }
    if (const J* subs = member(v, "folders")) {
        Step step(*this, "folders");
        need_array(*subs);
        for (std::size_t i = 0; i < subs->items().size(); ++i) {
            Step item(*this, i);
            load_folder(s, f, subs->items()[i]);
        }
    }
    if (const J* msgs = member(v, "messages")) {
        Step step(*this, "messages");
        load_message_list(s, f, *msgs, false);
    }
    if (const J* msgs = member(v, "associated")) {
        Step step(*this, "associated");
        load_message_list(s, f, *msgs, true);
    }
    if (const J* files = member(v, "msg_files")) {
        Step step(*this, "msg_files");
        load_msg_files(s, f, *files);
    }
}

void Loader::load_message_list(model::Store& s, model::Folder& f, const J& v, bool associated)
{
    need_array(v);
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step item(*this, i);
        const J& m = v.items()[i];
        need_object(m, "a message");
        if (m.find("repeat")) {
            load_repeat(s, f, m, associated);
        } else {
            auto msg = s.add_message(f, associated);
            load_message(s, *msg, m);
        }
    }
}

void Loader::load_loose(model::Store& s, const J& v,
                        std::vector<std::shared_ptr<model::Message>>& out)
{
    auto one = [&](const J& m) {
        need_object(m, "a message");
        if (m.find("repeat")) fail(m, "a repeat is not delivered; list the messages");
        auto msg = std::make_shared<model::Message>();
        load_message(s, *msg, m);
        out.push_back(std::move(msg));
    };
    if (!v.is_array()) return one(v);
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step item(*this, i);
        one(v.items()[i]);
    }
}

NamedId Loader::named_id(const J& v)
{
    GUID set;
    {
        Step step(*this, "set");
        set = property_set(required(v, "set"));
    }
    const J* name = member(v, "name");
    const J* lid = member(v, "lid");
    if ((name != nullptr) == (lid != nullptr)) fail(v, "give either \"name\" or \"lid\"");
    if (name) {
        Step step(*this, "name");
        return NamedId::by_name(set, text16(*name));
    }
    Step step(*this, "lid");
    return NamedId::by_lid(set, static_cast<LONG>(whole32(*lid)));
}

ULONG Loader::named_tag(model::Store& s, const J& at, const NamedId& id, ULONG type)
{
    const ULONG tag = s.named_tag(id, type);
    if (tag == PR_NULL) fail(at, "the store has no free identifiers for named properties");
    return tag;
}

ULONG Loader::named_type(const J& entry, const J& value)
{
    const J* t = member(entry, "type");
    if (!t) {
        if (value.is_string()) return PT_STRING8;
        if (value.is_bool()) return PT_BOOLEAN;
        if (value.is_number()) return PT_LONG;
        if (value.is_array()) return PT_MV_STRING8;
        Step step(*this, "value");
        fail(value, "give the \"type\" of this value");
    }
    Step step(*this, "type");
    static const std::pair<const char*, ULONG> kTypes[] = {
        {"string8", PT_STRING8},    {"unicode", PT_UNICODE},       {"long", PT_LONG},
        {"short", PT_I2},           {"boolean", PT_BOOLEAN},       {"i8", PT_I8},
        {"double", PT_DOUBLE},      {"time", PT_SYSTIME},          {"binary", PT_BINARY},
        {"guid", PT_CLSID},         {"mv_string8", PT_MV_STRING8}, {"mv_long", PT_MV_LONG},
        {"mv_binary", PT_MV_BINARY}};
    if (t->is_string()) {
        const std::string name = str(*t);
        for (const auto& [known, type] : kTypes)
            if (name == known) return type;
        if (name.empty() || name[0] < '0' || name[0] > '9')
            fail(*t, "unknown type " + quote(name) +
                         "; expected string8, unicode, long, short, boolean, i8, double, time, "
                         "binary, guid, mv_string8, mv_long, mv_binary or a number");
    }
    return static_cast<ULONG>(whole(*t, 1, 0xFFFF));
}

void Loader::load_named(model::Store& s, Props& props, const J& list)
{
    need_array(list);
    for (std::size_t i = 0; i < list.items().size(); ++i) {
        Step item(*this, i);
        const J& n = list.items()[i];
        need_object(n, "a named property");
        check_members(n, {"set", "name", "lid", "type", "value"}, "a named property");
        const NamedId id = named_id(n);
        const J& value = required(n, "value");
        const ULONG type = named_type(n, value);
        Step step(*this, "value");
        props.set(value, "named", tagged_value(named_tag(s, n, id, type), value));
    }
}

void Loader::load_message(model::Store& s, model::Message& m, const J& v)
{
    check_members(v,
                  {"from", "sender", "received_representing", "to", "cc", "bcc", "recipients",
                   "rtf", "keywords", "flag_request", "reminder_set", "file_under", "email1",
                   "email2", "email3", "named", "attachments"},
                  "a message", true, {kMessageProps, kPersonProps});
    Props props(*this, m.props);
    std::vector<std::pair<const J*, std::optional<ULONG>>> recipients[4];
    for (const auto& [name, value] : v.members()) {
        if (set_friendly(props, Table(kMessageProps).find(name), name, value)) continue;
        if (set_friendly(props, Table(kPersonProps).find(name), name, value)) continue;
        if (is_tag_member(name)) {
            set_tag(props, name, value);
            continue;
        }
        Step step(*this, name);
        if (name == "from" || name == "sender" || name == "received_representing") {
            const ULONG n = name == "from"     ? PR_SENT_REPRESENTING_NAME_A
                            : name == "sender" ? PR_SENDER_NAME_A
                                               : PR_RCVD_REPRESENTING_NAME_A;
            const ULONG e = name == "from"     ? PR_SENT_REPRESENTING_EMAIL_ADDRESS_A
                            : name == "sender" ? PR_SENDER_EMAIL_ADDRESS_A
                                               : PR_RCVD_REPRESENTING_EMAIL_ADDRESS_A;
            const ULONG t = name == "from"     ? PR_SENT_REPRESENTING_ADDRTYPE_A
                            : name == "sender" ? PR_SENDER_ADDRTYPE_A
                                               : kPrRcvdRepresentingAddrtype;
            if (value.is_null()) {
                for (ULONG tag : {n, e, t}) props.leave_out(value, name, tag);
                continue;
            }
            set_address(props, value, name, address(value), n, e, t);
        } else if (name == "to" || name == "cc" || name == "bcc" || name == "recipients") {
            if (value.is_null()) continue;
            const int slot = name == "to" ? 0 : name == "cc" ? 1 : name == "bcc" ? 2 : 3;
            const std::optional<ULONG> type =
                slot == 3 ? std::nullopt : std::optional<ULONG>(static_cast<ULONG>(slot + 1));
            if (value.is_array()) {
                for (const J& item : value.items()) recipients[slot].emplace_back(&item, type);
            } else if (slot == 3) {
                need_array(value);
            } else {
                recipients[slot].emplace_back(&value, type);
            }
        } else if (name == "rtf") {
            if (value.is_null()) {
                props.leave_out(value, name, PR_RTF_COMPRESSED);
                continue;
            }
            const std::string rtf = lines8(value);
            Bytes packed = lzfu::compress(rtf.data(), rtf.size());
            if (packed.empty()) fail(value, "RTF too large to compress");
            props.set(value, name, M::binary(PR_RTF_COMPRESSED, std::move(packed)));
        } else if (name == "keywords" || name == "flag_request" || name == "reminder_set" ||
                   name == "file_under") {
            const NamedId id =
                name == "keywords"       ? NamedId::by_name(model::PS_PUBLIC_STRINGS, u"Keywords")
                : name == "flag_request" ? NamedId::by_lid(model::PSETID_Common, 0x8530)
                : name == "reminder_set" ? NamedId::by_lid(model::PSETID_Common, 0x8503)
                                         : NamedId::by_lid(model::PSETID_Address, 0x8005);
            if (value.is_null()) continue;
            if (name == "reminder_set") {
                const bool b = boolean(value);
                props.set(value, name, M::boolean(named_tag(s, value, id, PT_BOOLEAN), b));
            } else if (name == "keywords" && value.is_array()) {
                std::vector<std::string> words;
                for (std::size_t i = 0; i < value.items().size(); ++i) {
                    Step item(*this, i);
                    words.push_back(text8(value.items()[i]));
                }
                props.set(value, name,
                          M::mv_string8(named_tag(s, value, id, PT_MV_STRING8), std::move(words)));
            } else {
                const std::string t = text8(value);
                props.set(value, name, M::string8(named_tag(s, value, id, PT_STRING8), t));
            }
        } else if (name == "email1" || name == "email2" || name == "email3") {
            if (value.is_null()) continue;
            const LONG base = name == "email1" ? 0x8080 : name == "email2" ? 0x8090 : 0x80A0;
            const Address a = address(value);
            const J& at = value; // a structured binding cannot be captured before C++20 compilers
            auto tag = [&](LONG lid) {
                return named_tag(s, at, NamedId::by_lid(model::PSETID_Address, lid), PT_STRING8);
            };
            if (a.addrtype) props.set(value, name, M::string8(tag(base + 2), *a.addrtype));
            if (a.email) props.set(value, name, M::string8(tag(base + 3), *a.email));
            if (a.name) props.set(value, name, M::string8(tag(base + 4), *a.name));
        } else if (name == "named") {
            if (!value.is_null()) load_named(s, props, value);
        } else if (name == "attachments") {
            if (value.is_null()) continue;
            need_array(value);
            for (std::size_t i = 0; i < value.items().size(); ++i) {
                Step item(*this, i);
                load_attachment(s, m, value.items()[i]);
            }
        }
    }
    static const char* const kSlots[] = {"to", "cc", "bcc", "recipients"};
    for (int slot = 0; slot < 4; ++slot) {
        Step step(*this, kSlots[slot]);
        const J* list = v.find(kSlots[slot]);
        const bool listed = list && list->is_array();
        for (std::size_t i = 0; i < recipients[slot].size(); ++i) {
            std::optional<Step> item;
            if (listed) item.emplace(*this, i);
            load_recipient(m, *recipients[slot][i].first, recipients[slot][i].second);
        }
    }
    // What a store would fill in: the sender from "from", the subject's parts.
    const J* from = member(v, "from");
    if (from && !v.find("sender")) {
        auto copy = [&](ULONG src, ULONG dst) {
            if (auto t = m.props.text(src); t && !props.mentioned(dst))
                m.props.set(M::string8(dst, *t));
        };
        copy(PR_SENT_REPRESENTING_NAME_A, PR_SENDER_NAME_A);
        copy(PR_SENT_REPRESENTING_EMAIL_ADDRESS_A, PR_SENDER_EMAIL_ADDRESS_A);
        copy(PR_SENT_REPRESENTING_ADDRTYPE_A, PR_SENDER_ADDRTYPE_A);
    }
    if (auto subject = m.props.text(PR_SUBJECT_A)) {
        const std::size_t cut = subject_prefix_length(*subject);
        if (!props.mentioned(PR_SUBJECT_PREFIX_A) && cut)
            m.props.set(M::string8(PR_SUBJECT_PREFIX_A, subject->substr(0, cut)));
        if (!props.mentioned(PR_NORMALIZED_SUBJECT_A))
            m.props.set(M::string8(PR_NORMALIZED_SUBJECT_A, subject->substr(cut)));
    }
}

void Loader::load_recipient(model::Message& m, const J& v, std::optional<ULONG> type)
{
    model::Recipient r;
    Props props(*this, r.props);
    if (type) {
        // An address in "to", "cc" or "bcc".
        props.set(v, "type", M::i4(PR_RECIPIENT_TYPE, static_cast<std::int32_t>(*type)));
        set_address(props, v, "address", address(v), PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A,
                    PR_ADDRTYPE_A);
        m.recipients.push_back(std::move(r));
        return;
    }
    need_object(v, "a recipient");
    check_members(v, {"type"}, "a recipient", true, {kRecipientProps});
    if (const J* t = v.find("type")) {
        Step step(*this, "type");
        if (t->is_null())
            props.leave_out(*t, "type", PR_RECIPIENT_TYPE);
        else
            props.set(*t, "type",
                      M::i4(PR_RECIPIENT_TYPE, choice(*t, kRecipientTypes, INT32_MIN, UINT32_MAX)));
    } else {
        r.props.set(M::i4(PR_RECIPIENT_TYPE, MAPI_TO));
    }
    for (const auto& [name, value] : v.members())
        if (!set_friendly(props, Table(kRecipientProps).find(name), name, value) &&
            is_tag_member(name))
            set_tag(props, name, value);
    if (!props.mentioned(PR_ADDRTYPE_A) && r.props.contains(PR_EMAIL_ADDRESS_A))
        r.props.set(M::string8(PR_ADDRTYPE_A, "SMTP"));
    m.recipients.push_back(std::move(r));
}

void Loader::load_attachment(model::Store& s, model::Message& m, const J& v)
{
    need_object(v, "an attachment");
    check_members(v, {"method", "message"}, "an attachment", true, {kAttachmentProps});
    model::Attachment a;
    Props props(*this, a.props);
    const J* embedded = member(v, "message");
    if (const J* method = v.find("method")) {
        Step step(*this, "method");
        if (method->is_null())
            props.leave_out(*method, "method", PR_ATTACH_METHOD);
        else
            props.set(
                *method, "method",
                M::i4(PR_ATTACH_METHOD, choice(*method, kAttachMethods, INT32_MIN, UINT32_MAX)));
    } else {
        a.props.set(M::i4(PR_ATTACH_METHOD, embedded ? ATTACH_EMBEDDED_MSG : ATTACH_BY_VALUE));
    }
    for (const auto& [name, value] : v.members()) {
        if (set_friendly(props, Table(kAttachmentProps).find(name), name, value)) continue;
        if (!is_tag_member(name)) continue;
        if (PROP_ID(tag_of(name)) == PROP_ID(PR_ATTACH_NUM)) {
            Step step(*this, name);
            fail(value, "attachment numbers follow the order of the attachments");
        }
        set_tag(props, name, value);
    }
    if (embedded) {
        Step step(*this, "message");
        if (props.mentioned(PR_ATTACH_DATA_BIN))
            fail(*embedded, "an attachment has \"data\" or a \"message\", not both");
        need_object(*embedded, "a message");
        a.embedded = std::make_shared<model::Message>();
        load_message(s, *a.embedded, *embedded);
    }
    if (!props.mentioned(PR_ATTACH_SIZE))
        if (const M* data = a.props.find(PR_ATTACH_DATA_BIN))
            if (const Bytes* b = data->get<Bytes>())
                a.props.set(M::i4(PR_ATTACH_SIZE, static_cast<std::int32_t>(b->size())));
    m.add_attachment(std::move(a));
}

} // namespace mapisim::loader::description
