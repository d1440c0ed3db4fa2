// The loader of a mailbox description, shared by the files of this folder,
// each of which defines the Loader methods of one concern:
//   names.h        the named numbers, flags and friendly members
//   text_forms.cpp code page 1252 text, bytes (hex, base64, text), GUIDs
//   times.cpp      times and durations
//   values.cpp     member checks and property values
//   repeat.cpp     repeated messages and ${...} templating
//   registry.cpp   the registry and file versions
//   mailbox.cpp    the walk through profiles, stores, folders and messages
//   outlook_references.cpp  .msg and .pst files a description names
//   loader.cpp     error messages, installing a load, the C controls
// The JSON reader (json.h) is apart: strict, with positions.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "mapisim/loader/json.h"
#include "mapisim/loader/names.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"

namespace mapisim::loader::description {

using J = json::Value;
using model::Bytes;
using model::FileTime;
using model::NamedId;
using M = model::Value;

inline constexpr ULONG kPrRcvdRepresentingAddrtype = PROP_TAG(PT_STRING8, 0x0077);

// Repeats may multiply a template: these bound what one file can make.
// 256 MB of text holds a folder of 10,000 messages with 20 KB bodies and
// their headers; RTF bodies are stored compressed, plain text as it is.
inline constexpr std::int64_t kMaxRepeat = 100000;
inline constexpr std::int64_t kMaxRepeatedMessages = 200000;
inline constexpr std::uint64_t kMaxRepeatedWeight = std::uint64_t{256} << 20;

inline constexpr std::int64_t kTicksPerSecond = 10000000;
inline constexpr std::int64_t kTicksPerDay = 86400 * kTicksPerSecond;

// A failure of the description, where it is: thrown by Loader::fail.
struct LoadError {
    json::Pos pos;
    std::string path;
    std::string message;
};

// A user's text inside an error message: quoted, escaped, kept short, so
// the message stays one line.
std::string quote(std::string_view s);

// A hex digit's value, or -1.
inline int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct RegistryOp {
    mapisim_root root;
    std::string key;
    std::optional<std::string> name;
    std::optional<std::uint32_t> type; // none: create the key only
    Bytes data;
};

struct VersionOp {
    std::string path;
    std::uint32_t product_ms, product_ls, file_ms, file_ls;
};

struct Address {
    std::optional<std::string> name, email, addrtype;
};

class Loader;

// A property bag being filled from one JSON object: remembers which member
// set each property so that two members setting one property are refused,
// and which properties a null member left out on purpose.
class Props {
public:
    Props(Loader& loader, model::PropertyBag& bag) : loader_(loader), bag_(bag) {}
    void set(const J& at, std::string_view member, M value);
    void leave_out(const J& at, std::string_view member, ULONG tag);
    // Given by a member, as a value or as null.
    bool mentioned(ULONG tag) const { return by_.count(PROP_ID(tag)) != 0; }

private:
    void claim(const J& at, std::string_view member, ULONG tag);
    Loader& loader_;
    model::PropertyBag& bag_;
    std::map<ULONG, std::string> by_;
};

class Loader {
public:
    std::shared_ptr<model::World> world = std::make_shared<model::World>();
    bool has_registry = false, has_versions = false;
    std::vector<RegistryOp> registry;
    std::vector<VersionOp> versions;
    // Where relative file names in the description start from.
    std::filesystem::path base_dir;

    void load(const J& top);
    // Messages for delivery into s: one message object or an array of them.
    void load_loose(model::Store& s, const J& v, std::vector<std::shared_ptr<model::Message>>& out);

    [[noreturn]] void fail(const J& at, std::string message) const
    {
        throw LoadError{at.pos(), path_, std::move(message)};
    }

private:
    // Extends the JSON path for the lifetime of the step.
    class Step {
    public:
        Step(Loader& l, std::string_view member) : l_(l), len_(l.path_.size())
        {
            json::append_member(l.path_, member);
        }
        Step(Loader& l, std::size_t index) : l_(l), len_(l.path_.size())
        {
            json::append_index(l.path_, index);
        }
        ~Step() { l_.path_.resize(len_); }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        Loader& l_;
        std::size_t len_;
    };

    // The template being repeated, if any: its number n and how far its
    // times move.
    struct Repeat {
        bool on = false;
        std::int64_t n = 0;
        std::int64_t shift = 0;
    };

    // -- shapes --
    void need_object(const J& v, const char* what) const
    {
        if (!v.is_object()) fail(v, std::string("expected ") + what + " (an object)");
    }
    void need_array(const J& v) const
    {
        if (!v.is_array()) fail(v, "expected an array");
    }
    // Refuses members not in allowed or the tables (nor a property tag,
    // when tags are allowed).
    void check_members(const J& obj, std::initializer_list<const char*> allowed, const char* what,
                       bool tags = false, std::initializer_list<Table> tables = {});
    const J* member(const J& obj, const char* name) const
    {
        const J* v = obj.find(name);
        return v && !v->is_null() ? v : nullptr;
    }
    // A missing member is reported at its object, also from within a step
    // for that member.
    const J& required(const J& obj, const char* name) const
    {
        const J* v = member(obj, name);
        if (v) return *v;
        std::string at = path_;
        const std::string tail = std::string(".") + name;
        if (at.size() >= tail.size() && at.compare(at.size() - tail.size(), tail.size(), tail) == 0)
            at.resize(at.size() - tail.size());
        else if (at == name)
            at.clear();
        throw LoadError{obj.pos(), at, std::string("\"") + name + "\" is required here"};
    }

    // -- values --
    std::string str(const J& v);
    std::string substitute(const J& v, const std::string& s) const;
    std::string to_cp1252(const J& v, std::string_view utf8) const;
    std::string text8(const J& v);
    std::string lines8(const J& v);
    std::u16string text16(const J& v);
    std::int64_t whole(const J& v, std::int64_t min, std::int64_t max);
    std::int32_t whole32(const J& v);
    std::int32_t choice(const J& v, NameList names, std::int64_t min, std::int64_t max);
    std::uint32_t flags(const J& v, NameList names);
    bool boolean(const J& v) const;
    FileTime time(const J& v);
    std::int64_t parse_time(const J& v, const std::string& s) const;
    std::int64_t parse_duration(const J& v, const std::string& s) const;
    Bytes bytes(const J& v);
    GUID guid(const J& v, const std::string& s) const;
    GUID property_set(const J& v);
    Address address(const J& v);

    M friendly_value(const Friendly& f, const J& v);
    M tagged_value(ULONG tag, const J& v);
    bool set_friendly(Props& props, const Friendly* f, std::string_view member, const J& v);
    void set_tag(Props& props, std::string_view member, const J& v);
    void set_tags(Props& props, const J& obj);

    // -- parts --
    void load_registry(const J& v);
    void load_versions(const J& v);
    void load_settings(const J& v);
    void load_script(const J& v);
    void load_profile(const J& v, std::set<std::string>& names);
    void load_status_row(model::Profile& p, const J& v);
    void load_container(model::Profile& p, const J& v);
    void load_store(model::Profile& p, const J& v);
    void load_pst_store(model::Profile& p, const J& v);
    void load_msg_files(model::Store& s, model::Folder& f, const J& v);
    std::filesystem::path referenced_path(const J& at, const std::string& name) const;
    std::vector<std::string> matching_files(const J& at, const std::string& pattern) const;
    void load_folder(model::Store& s, model::Folder& parent, const J& v);
    void load_message_list(model::Store& s, model::Folder& f, const J& v, bool associated);
    void load_repeat(model::Store& s, model::Folder& f, const J& v, bool associated);
    void load_message(model::Store& s, model::Message& m, const J& v);
    void load_recipient(model::Message& m, const J& v, std::optional<ULONG> type);
    void load_attachment(model::Store& s, model::Message& m, const J& v);
    NamedId named_id(const J& v);
    ULONG named_type(const J& entry, const J& value);
    void load_named(model::Store& s, Props& props, const J& list);
    ULONG named_tag(model::Store& s, const J& at, const NamedId& id, ULONG type);
    void set_address(Props& props, const J& at, std::string_view member, const Address& a,
                     ULONG name_tag, ULONG email_tag, ULONG type_tag);
    std::shared_ptr<model::Folder> resolve(model::Store& s, model::Folder& top, const J& v);
    std::uint64_t weight(const J& v) const;

    std::string path_;
    Repeat repeat_;
    std::int64_t repeated_messages_ = 0;
    std::uint64_t repeated_weight_ = 0;
};

} // namespace mapisim::loader::description
