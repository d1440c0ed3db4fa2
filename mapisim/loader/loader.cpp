#include "mapisim/loader/loader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/loader/json.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#include "mapisim/rtfcomp/lzfu.h"
#include "mapisim/text/text.h"

namespace mapisim::loader {
namespace {

using J = json::Value;
using model::Bytes;
using model::FileTime;
using model::NamedId;
using M = model::Value;

constexpr ULONG kPrTitle = PROP_TAG(PT_STRING8, 0x3A17);
constexpr ULONG kPrBusinessPhone = PROP_TAG(PT_STRING8, 0x3A08);
constexpr ULONG kPrRcvdRepresentingAddrtype = PROP_TAG(PT_STRING8, 0x0077);

// Repeats may multiply a template: these bound what one file can make.
constexpr std::int64_t kMaxRepeat = 100000;
constexpr std::int64_t kMaxRepeatedMessages = 200000;
constexpr std::uint64_t kMaxRepeatedWeight = 64u << 20;

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kTicksPerDay = 86400 * kTicksPerSecond;

struct LoadError {
    json::Pos pos;
    std::string path;
    std::string message;
};

// A user's text inside an error message: quoted, escaped, kept short, so
// the message stays one line.
std::string quote(std::string_view s)
{
    std::string out = "\"";
    std::size_t shown = 0;
    for (const char c : s) {
        if (++shown > 60) {
            out += "...";
            break;
        }
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

// ---- Named numbers and flags of the format ----

struct Name {
    const char* name;
    std::int64_t value;
};

constexpr Name kRecipientTypes[] = {
    {"orig", MAPI_ORIG}, {"to", MAPI_TO}, {"cc", MAPI_CC}, {"bcc", MAPI_BCC}};
constexpr Name kImportance[] = {{"low", 0}, {"normal", 1}, {"high", 2}};
constexpr Name kPriority[] = {{"non_urgent", -1}, {"normal", 0}, {"urgent", 1}};
constexpr Name kSensitivity[] = {{"none", 0}, {"personal", 1}, {"private", 2}, {"confidential", 3}};
constexpr Name kLastVerb[] = {{"reply", 102}, {"reply_all", 103}, {"forward", 104}};
constexpr Name kFlagStatus[] = {{"none", 0}, {"complete", 1}, {"flagged", 2}};
constexpr Name kAttachMethods[] = {{"by_value", ATTACH_BY_VALUE},
                                   {"by_reference", ATTACH_BY_REFERENCE},
                                   {"by_ref_resolve", ATTACH_BY_REF_RESOLVE},
                                   {"by_ref_only", ATTACH_BY_REF_ONLY},
                                   {"embedded", ATTACH_EMBEDDED_MSG},
                                   {"ole", ATTACH_OLE}};
constexpr Name kResourceTypes[] = {{"transport", MAPI_TRANSPORT_PROVIDER},
                                   {"store", MAPI_STORE_PROVIDER},
                                   {"address_book", MAPI_AB},
                                   {"address_book_provider", MAPI_AB_PROVIDER},
                                   {"spooler", MAPI_SPOOLER},
                                   {"profile", MAPI_PROFILE_PROVIDER},
                                   {"subsystem", MAPI_SUBSYSTEM},
                                   {"hook", MAPI_HOOK_PROVIDER}};

constexpr Name kMessageFlags[] = {{"read", MSGFLAG_READ},
                                  {"unmodified", MSGFLAG_UNMODIFIED},
                                  {"submit", MSGFLAG_SUBMIT},
                                  {"unsent", MSGFLAG_UNSENT},
                                  {"has_attach", MSGFLAG_HASATTACH},
                                  {"from_me", MSGFLAG_FROMME},
                                  {"associated", MSGFLAG_ASSOCIATED},
                                  {"resend", 0x80},
                                  {"rn_pending", 0x100},
                                  {"nrn_pending", 0x200}};
constexpr Name kStatusFlags[] = {{"available", STATUS_AVAILABLE},
                                 {"offline", STATUS_OFFLINE},
                                 {"failure", STATUS_FAILURE},
                                 {"inbound_enabled", STATUS_INBOUND_ENABLED},
                                 {"inbound_active", STATUS_INBOUND_ACTIVE},
                                 {"inbound_flush", STATUS_INBOUND_FLUSH},
                                 {"outbound_enabled", STATUS_OUTBOUND_ENABLED},
                                 {"outbound_active", STATUS_OUTBOUND_ACTIVE},
                                 {"outbound_flush", STATUS_OUTBOUND_FLUSH}};
constexpr Name kResourceFlags[] = {
    {"default_outbound", STATUS_DEFAULT_OUTBOUND}, {"default_store", STATUS_DEFAULT_STORE},
    {"primary_identity", STATUS_PRIMARY_IDENTITY}, {"simple_store", STATUS_SIMPLE_STORE},
    {"no_default_store", STATUS_NO_DEFAULT_STORE}, {"primary_store", STATUS_PRIMARY_STORE},
    {"secondary_store", STATUS_SECONDARY_STORE}};
constexpr Name kAttachFlags[] = {
    {"invisible_in_html", 1}, {"invisible_in_rtf", 2}, {"mhtml_ref", 4}};

struct NameList {
    const Name* items = nullptr;
    std::size_t size = 0;
    constexpr NameList() = default;
    template <std::size_t N>
    constexpr NameList(const Name (&a)[N]) : items(a), size(N)
    {
    }
};

std::string list_names(NameList names)
{
    std::string out;
    for (std::size_t i = 0; i < names.size; ++i) {
        if (!out.empty()) out += ", ";
        out += names.items[i].name;
    }
    return out;
}

// ---- Friendly properties: one member, one property ----

enum class Kind { Text, Lines, Time, Whole, Bool, Bytes, Choice, Flags };

struct Friendly {
    const char* member;
    ULONG tag;
    Kind kind;
    NameList names = {};
};

// Shared by messages (contacts), address-book entries.
constexpr Friendly kPersonProps[] = {
    {"company", PR_COMPANY_NAME_A, Kind::Text},  {"prefix", PR_DISPLAY_NAME_PREFIX_A, Kind::Text},
    {"given_name", PR_GIVEN_NAME_A, Kind::Text}, {"middle_name", PR_MIDDLE_NAME_A, Kind::Text},
    {"surname", PR_SURNAME_A, Kind::Text},       {"generation", PR_GENERATION_A, Kind::Text},
    {"job_title", kPrTitle, Kind::Text},         {"business_phone", kPrBusinessPhone, Kind::Text},
};

constexpr Friendly kMessageProps[] = {
    {"class", PR_MESSAGE_CLASS_A, Kind::Text},
    {"subject", PR_SUBJECT_A, Kind::Text},
    {"subject_prefix", PR_SUBJECT_PREFIX_A, Kind::Text},
    {"normalized_subject", PR_NORMALIZED_SUBJECT_A, Kind::Text},
    {"topic", PR_CONVERSATION_TOPIC_A, Kind::Text},
    {"conversation_index", PR_CONVERSATION_INDEX, Kind::Bytes},
    {"display_to", PR_DISPLAY_TO_A, Kind::Text},
    {"display_cc", PR_DISPLAY_CC_A, Kind::Text},
    {"display_bcc", PR_DISPLAY_BCC_A, Kind::Text},
    {"reply_to_names", PR_REPLY_RECIPIENT_NAMES_A, Kind::Text},
    {"sent", PR_CLIENT_SUBMIT_TIME, Kind::Time},
    {"received", PR_MESSAGE_DELIVERY_TIME, Kind::Time},
    {"created", PR_CREATION_TIME, Kind::Time},
    {"modified", PR_LAST_MODIFICATION_TIME, Kind::Time},
    {"reply_time", PR_REPLY_TIME, Kind::Time},
    {"flags", PR_MESSAGE_FLAGS, Kind::Flags, kMessageFlags},
    {"status", PR_MSG_STATUS, Kind::Whole},
    {"importance", PR_IMPORTANCE, Kind::Choice, kImportance},
    {"priority", PR_PRIORITY, Kind::Choice, kPriority},
    {"sensitivity", PR_SENSITIVITY, Kind::Choice, kSensitivity},
    {"last_verb", PR_LAST_VERB_EXECUTED, Kind::Choice, kLastVerb},
    {"flag_status", PR_FLAG_STATUS, Kind::Choice, kFlagStatus},
    {"codepage", PR_INTERNET_CPID, Kind::Whole},
    {"message_id", PR_INTERNET_MESSAGE_ID_A, Kind::Text},
    {"headers", PR_TRANSPORT_MESSAGE_HEADERS_A, Kind::Lines},
    {"search_key", PR_SEARCH_KEY, Kind::Bytes},
    {"report_tag", PR_REPORT_TAG, Kind::Bytes},
    {"delete_after_submit", PR_DELETE_AFTER_SUBMIT, Kind::Bool},
    {"body", PR_BODY_A, Kind::Lines},
    {"html", PR_BODY_HTML_A, Kind::Lines},
    {"rtf_compressed", PR_RTF_COMPRESSED, Kind::Bytes},
    {"display_name", PR_DISPLAY_NAME_A, Kind::Text},
};

constexpr Friendly kRecipientProps[] = {
    {"name", PR_DISPLAY_NAME_A, Kind::Text},
    {"email", PR_EMAIL_ADDRESS_A, Kind::Text},
    {"addrtype", PR_ADDRTYPE_A, Kind::Text},
    {"display_name", PR_RECIPIENT_DISPLAY_NAME_A, Kind::Text},
};

constexpr Friendly kAttachmentProps[] = {
    {"filename", PR_ATTACH_LONG_FILENAME_A, Kind::Text},
    {"short_filename", PR_ATTACH_FILENAME_A, Kind::Text},
    {"display_name", PR_DISPLAY_NAME_A, Kind::Text},
    {"extension", PR_ATTACH_EXTENSION_A, Kind::Text},
    {"pathname", PR_ATTACH_PATHNAME_A, Kind::Text},
    {"mime", PR_ATTACH_MIME_TAG_A, Kind::Text},
    {"content_id", PR_ATTACH_CONTENT_ID_A, Kind::Text},
    {"content_location", PR_ATTACH_CONTENT_LOCATION_A, Kind::Text},
    {"flags", PR_ATTACH_FLAGS, Kind::Flags, kAttachFlags},
    {"rendering_position", PR_RENDERING_POSITION, Kind::Whole},
    {"data", PR_ATTACH_DATA_BIN, Kind::Bytes},
    {"size", PR_ATTACH_SIZE, Kind::Whole},
};

constexpr Friendly kAbEntryProps[] = {
    {"name", PR_DISPLAY_NAME_A, Kind::Text},
    {"email", PR_EMAIL_ADDRESS_A, Kind::Text},
    {"addrtype", PR_ADDRTYPE_A, Kind::Text},
    {"subject", PR_SUBJECT_A, Kind::Text},
};

// A table of friendly members, as the member checks and setters take it.
class Table {
public:
    template <std::size_t N>
    constexpr Table(const Friendly (&t)[N]) : begin_(t), end_(t + N)
    {
    }
    const Friendly* find(std::string_view member) const
    {
        for (const Friendly* f = begin_; f != end_; ++f)
            if (member == f->member) return f;
        return nullptr;
    }

private:
    const Friendly* begin_;
    const Friendly* end_;
};

// The tag a member such as "0x0037001E" names; checked by is_tag_member.
ULONG tag_of(std::string_view member)
{
    ULONG tag = 0;
    for (std::size_t i = 2; i < 10; ++i) {
        const char c = member[i];
        tag = tag << 4 | static_cast<ULONG>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return tag;
}

bool is_tag_member(std::string_view s)
{
    if (s.size() != 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    for (std::size_t i = 2; i < 10; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// ---- Base64, hex, times, GUIDs ----

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int base64_digit(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::int64_t days_from_civil(std::int64_t y, std::int64_t m, std::int64_t d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;  // days since 1970-01-01
}

const std::int64_t kDays1601 = days_from_civil(1601, 1, 1);
const std::int64_t kMaxTicks = (days_from_civil(10000, 1, 1) - kDays1601) * kTicksPerDay - 1;

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

// ---- The loader ----

struct RegistryOp {
    mapisim_root root;
    std::string key;
    std::optional<std::string> name;
    std::optional<std::uint32_t> type;  // none: create the key only
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

    void load(const J& top);

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

void Props::claim(const J& at, std::string_view member, ULONG tag)
{
    auto [it, fresh] = by_.emplace(PROP_ID(tag), std::string(member));
    if (!fresh) {
        char id[8];
        std::snprintf(id, sizeof id, "%04X", static_cast<unsigned>(PROP_ID(tag)));
        loader_.fail(at, "sets property 0x" + std::string(id) + ", which " + quote(it->second) +
                             " sets already");
    }
}

void Props::set(const J& at, std::string_view member, M value)
{
    claim(at, member, value.tag());
    bag_.set(std::move(value));
}

void Props::leave_out(const J& at, std::string_view member, ULONG tag)
{
    claim(at, member, tag);
}

void Loader::check_members(const J& obj, std::initializer_list<const char*> allowed,
                           const char* what, bool tags, std::initializer_list<Table> tables)
{
    for (const auto& [name, value] : obj.members()) {
        bool ok = tags && is_tag_member(name);
        for (const char* a : allowed) ok = ok || name == a;
        for (const Table& t : tables) ok = ok || t.find(name);
        if (!ok) {
            Step step(*this, name);
            fail(value, "unknown member " + quote(name) + " in " + what);
        }
    }
}

// ---- values ----

std::string Loader::str(const J& v)
{
    if (!v.is_string()) fail(v, "expected a string");
    if (!repeat_.on) return v.text();
    return substitute(v, v.text());
}

std::string Loader::substitute(const J& v, const std::string& s) const
{
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t at = s.find("${", i);
        if (at == std::string::npos) {
            out.append(s, i, std::string::npos);
            break;
        }
        out.append(s, i, at - i);
        const std::size_t end = s.find('}', at + 2);
        if (end == std::string::npos) fail(v, "\"${\" without its \"}\" (write ${$} for a $)");
        const std::string_view body(s.data() + at + 2, end - at - 2);
        i = end + 1;
        if (body == "$") {
            out += '$';
            continue;
        }
        if (body.substr(0, 5) == "pick:") {
            std::vector<std::string_view> choices;
            std::string_view rest = body.substr(5);
            for (;;) {
                const std::size_t bar = rest.find('|');
                choices.push_back(rest.substr(0, bar));
                if (bar == std::string_view::npos) break;
                rest.remove_prefix(bar + 1);
            }
            out += choices[static_cast<std::size_t>(repeat_.n - 1) % choices.size()];
            continue;
        }
        // ${n}, ${n+K}, ${n-K}, each optionally with :W
        bool good = !body.empty() && body[0] == 'n';
        std::size_t k = 1;
        std::int64_t value = repeat_.n;
        if (good && k < body.size() && (body[k] == '+' || body[k] == '-')) {
            const bool minus = body[k++] == '-';
            std::int64_t offset = 0;
            const std::size_t digits = k;
            while (k < body.size() && body[k] >= '0' && body[k] <= '9' && k - digits < 15)
                offset = offset * 10 + (body[k++] - '0');
            good = k > digits;
            value += minus ? -offset : offset;
        }
        std::size_t width = 0;
        if (good && k < body.size() && body[k] == ':') {
            const std::size_t digits = ++k;
            while (k < body.size() && body[k] >= '0' && body[k] <= '9' && k - digits < 2)
                width = width * 10 + static_cast<std::size_t>(body[k++] - '0');
            good = k > digits;
        }
        if (!good || k != body.size())
            fail(v, "unknown substitution " + quote(std::string(s, at, end + 1 - at)) +
                        " (known: ${n}, ${n+K}, ${n:W}, ${pick:a|b}, ${$})");
        std::string digits = std::to_string(value < 0 ? -value : value);
        if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
        if (value < 0) out += '-';
        out += digits;
    }
    return out;
}

std::string Loader::to_cp1252(const J& v, std::string_view utf8) const
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = text::next_utf8(utf8, i);
        if (cp == 0) fail(v, "text may not hold a NUL character");
        if (const auto byte = text::to_cp1252(cp)) {
            out += static_cast<char>(*byte);
            continue;
        }
        char buf[16];
        std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
        fail(v, std::string("code page 1252 has no character ") + buf +
                    " (give such text to a property of type 001F, PT_UNICODE)");
    }
    return out;
}

std::string Loader::text8(const J& v)
{
    if (v.is_object()) {
        Bytes b = bytes(v);
        for (const auto c : b)
            if (c == 0) fail(v, "text may not hold a NUL byte");
        return std::string(b.begin(), b.end());
    }
    if (!v.is_string()) fail(v, "expected a string");
    return to_cp1252(v, str(v));
}

std::string Loader::lines8(const J& v)
{
    if (!v.is_array()) return text8(v);
    std::string out;
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step step(*this, i);
        if (i) out += "\r\n";
        out += text8(v.items()[i]);
    }
    return out;
}

std::u16string Loader::text16(const J& v)
{
    const std::string s = str(v);
    if (s.find('\0') != std::string::npos) fail(v, "text may not hold a NUL character");
    return text::utf8_to_utf16(s);
}

std::int64_t Loader::whole(const J& v, std::int64_t min, std::int64_t max)
{
    std::int64_t n = 0;
    bool ok = false;
    if (v.is_number()) {
        ok = v.to_int64(n);
    } else if (v.is_string()) {
        const std::string s = str(v);
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            std::uint64_t u = 0;
            ok = s.size() <= 18;
            for (std::size_t i = 2; ok && i < s.size(); ++i) {
                const int d = hex_digit(s[i]);
                ok = d >= 0;
                u = u << 4 | static_cast<std::uint64_t>(d < 0 ? 0 : d);
            }
            // Hexadecimal gives a bit pattern: 64-bit values wrap to negative.
            n = static_cast<std::int64_t>(u);
            ok = ok && (u <= static_cast<std::uint64_t>(INT64_MAX) || min < 0);
        } else {
            std::size_t i = s.size() && s[0] == '-' ? 1 : 0;
            ok = s.size() > i && s.size() - i <= 18;
            for (; ok && i < s.size(); ++i) {
                ok = s[i] >= '0' && s[i] <= '9';
                n = n * 10 + (s[i] - '0');
            }
            if (!s.empty() && s[0] == '-') n = -n;
        }
    } else {
        fail(v, "expected a whole number");
    }
    if (!ok) fail(v, "expected a whole number (decimal, or hexadecimal text \"0x...\")");
    if (n < min || n > max)
        fail(v, "number out of range " + std::to_string(min) + " to " + std::to_string(max));
    return n;
}

std::int32_t Loader::whole32(const J& v)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(whole(v, INT32_MIN, UINT32_MAX)));
}

std::int32_t Loader::choice(const J& v, NameList names, std::int64_t min, std::int64_t max)
{
    if (v.is_string()) {
        const std::string s = str(v);
        for (std::size_t i = 0; i < names.size; ++i)
            if (s == names.items[i].name) return static_cast<std::int32_t>(names.items[i].value);
        if (s.empty() || (s[0] != '-' && (s[0] < '0' || s[0] > '9')))
            fail(v, "unknown name " + quote(s) + "; expected one of " + list_names(names) +
                        ", or a number");
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(whole(v, min, max)));
}

std::uint32_t Loader::flags(const J& v, NameList names)
{
    if (!v.is_array()) return static_cast<std::uint32_t>(whole(v, 0, UINT32_MAX));
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step step(*this, i);
        const J& item = v.items()[i];
        const std::string s = str(item);
        bool known = false;
        for (std::size_t k = 0; k < names.size; ++k)
            if (s == names.items[k].name) {
                bits |= static_cast<std::uint32_t>(names.items[k].value);
                known = true;
            }
        if (!known) fail(item, "unknown flag " + quote(s) + "; the flags are " + list_names(names));
    }
    return bits;
}

bool Loader::boolean(const J& v) const
{
    if (!v.is_bool()) fail(v, "expected true or false");
    return v.boolean();
}

std::int64_t Loader::parse_time(const J& v, const std::string& s) const
{
    // YYYY-MM-DDThh:mm:ss[.f{1,7}]Z
    auto num = [&](std::size_t at, std::size_t n) {
        std::int64_t x = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (i >= s.size() || s[i] < '0' || s[i] > '9') return std::int64_t{-1};
            x = x * 10 + (s[i] - '0');
        }
        return x;
    };
    const char* form = "expected a UTC time such as \"2000-03-14T09:26:53Z\"";
    if (s.size() < 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':')
        fail(v, form);
    const std::int64_t y = num(0, 4), mo = num(5, 2), d = num(8, 2);
    const std::int64_t h = num(11, 2), mi = num(14, 2), se = num(17, 2);
    std::size_t i = 19;
    std::int64_t fraction = 0;
    if (i < s.size() && s[i] == '.') {
        std::size_t digits = 0;
        while (++i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (++digits > 7) fail(v, "at most seven fractional digits of a second");
            fraction = fraction * 10 + (s[i] - '0');
        }
        if (digits == 0) fail(v, form);
        for (; digits < 7; ++digits) fraction *= 10;
    }
    if (i + 1 != s.size() || s[i] != 'Z') fail(v, std::string(form) + ", ending in Z");
    if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || se < 0) fail(v, form);
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1601 || mo < 1 || mo > 12 || d < 1 ||
        d > kMonthDays[mo - 1] + (mo == 2 && leap ? 1 : 0) || h > 23 || mi > 59 || se > 59)
        fail(v, "no such time (years 1601 to 9999)");
    const std::int64_t days = days_from_civil(y, mo, d) - kDays1601;
    return days * kTicksPerDay + ((h * 60 + mi) * 60 + se) * kTicksPerSecond + fraction;
}

FileTime Loader::time(const J& v)
{
    std::int64_t t = parse_time(v, str(v));
    if (repeat_.on) {
        const std::int64_t shift = repeat_.shift;
        if ((shift > 0 && t > kMaxTicks - shift) || (shift < 0 && t < -shift))
            fail(v, "the repeat's step moves this time out of the years 1601 to 9999");
        t += shift;
    }
    return FileTime{static_cast<std::uint64_t>(t)};
}

std::int64_t Loader::parse_duration(const J& v, const std::string& s) const
{
    const char* form = "expected a duration such as \"PT2H30M\" or \"-P1D\"";
    std::size_t i = 0;
    const bool minus = !s.empty() && s[0] == '-';
    if (minus) ++i;
    if (i >= s.size() || s[i++] != 'P') fail(v, form);
    std::int64_t ticks = 0;
    bool in_time = false, any = false;
    const char* units = "D";  // what may come next, in order
    while (i < s.size()) {
        if (s[i] == 'T' && !in_time) {
            in_time = true;
            units = "HMS";
            ++i;
            continue;
        }
        std::int64_t n = 0;
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 7)
            n = n * 10 + (s[i++] - '0');
        if (i == start || i >= s.size()) fail(v, form);
        const char* unit = std::strchr(units, s[i]);
        if (!unit || !*unit) fail(v, form);
        units = unit + 1;
        const std::int64_t scale = s[i] == 'D'   ? kTicksPerDay
                                   : s[i] == 'H' ? 3600 * kTicksPerSecond
                                   : s[i] == 'M' ? 60 * kTicksPerSecond
                                                 : kTicksPerSecond;
        ticks += n * scale;
        any = true;
        ++i;
    }
    if (!any) fail(v, form);
    return minus ? -ticks : ticks;
}

Bytes Loader::bytes(const J& v)
{
    if (!v.is_object() || v.members().size() != 1)
        fail(v, "expected bytes: an object with one of \"hex\", \"base64\" or \"text\"");
    const auto& [kind, data] = v.members()[0];
    Step step(*this, kind);
    Bytes out;
    if (kind == "text") {
        const std::string s = str(data);
        out.assign(s.begin(), s.end());
    } else if (kind == "hex") {
        const std::string s = str(data);
        for (std::size_t i = 0; i < s.size();) {
            if (s[i] == ' ') {
                ++i;
                continue;
            }
            const int hi = hex_digit(s[i]);
            const int lo = i + 1 < s.size() ? hex_digit(s[i + 1]) : -1;
            if (hi < 0 || lo < 0) fail(data, "expected pairs of hexadecimal digits");
            out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
            i += 2;
        }
    } else if (kind == "base64") {
        std::string s;
        if (data.is_array()) {
            for (std::size_t i = 0; i < data.items().size(); ++i) {
                Step item(*this, i);
                s += str(data.items()[i]);
            }
        } else {
            s = str(data);
        }
        if (s.size() % 4 != 0) fail(data, "base64 text must come in groups of four characters");
        out.reserve(s.size() / 4 * 3);
        for (std::size_t i = 0; i < s.size(); i += 4) {
            int d[4];
            int pad = 0;
            for (int k = 0; k < 4; ++k) {
                const char c = s[i + k];
                if (c == '=' && i + 4 == s.size() && k >= 2) {
                    d[k] = 0;
                    ++pad;
                } else if (pad || (d[k] = base64_digit(c)) < 0) {
                    fail(data, "not base64 text");
                }
            }
            const std::uint32_t g =
                static_cast<std::uint32_t>(d[0] << 18 | d[1] << 12 | d[2] << 6 | d[3]);
            out.push_back(static_cast<std::uint8_t>(g >> 16));
            if (pad < 2) out.push_back(static_cast<std::uint8_t>(g >> 8));
            if (pad < 1) out.push_back(static_cast<std::uint8_t>(g));
        }
    } else {
        fail(data,
             "unknown kind of bytes " + quote(kind) + "; expected \"hex\", \"base64\" or \"text\"");
    }
    return out;
}

GUID Loader::guid(const J& v, const std::string& s) const
{
    // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    static const char kShape[] = "{........-....-....-....-............}";
    bool ok = s.size() == sizeof kShape - 1;
    for (std::size_t i = 0; ok && i < s.size(); ++i)
        ok = kShape[i] == '.' ? hex_digit(s[i]) >= 0 : s[i] == kShape[i];
    if (!ok) fail(v, "expected a GUID such as \"{00062008-0000-0000-C000-000000000046}\"");
    auto hex = [&](std::size_t at, std::size_t n) {
        std::uint32_t x = 0;
        for (std::size_t i = 0; i < n; ++i)
            x = x << 4 | static_cast<std::uint32_t>(hex_digit(s[at + i]));
        return x;
    };
    GUID g{};
    g.Data1 = hex(1, 8);
    g.Data2 = static_cast<std::uint16_t>(hex(10, 4));
    g.Data3 = static_cast<std::uint16_t>(hex(15, 4));
    g.Data4[0] = static_cast<std::uint8_t>(hex(20, 2));
    g.Data4[1] = static_cast<std::uint8_t>(hex(22, 2));
    for (int k = 0; k < 6; ++k) g.Data4[2 + k] = static_cast<std::uint8_t>(hex(25 + 2 * k, 2));
    return g;
}

GUID Loader::property_set(const J& v)
{
    const std::string s = str(v);
    static const std::pair<const char*, GUID> kSets[] = {
        {"PS_PUBLIC_STRINGS", model::PS_PUBLIC_STRINGS},
        {"PS_MAPI", model::PS_MAPI},
        {"PSETID_Common", model::PSETID_Common},
        {"PSETID_Address", model::PSETID_Address},
        {"PSETID_Appointment", model::PSETID_Appointment},
        {"PSETID_Task", model::PSETID_Task}};
    for (const auto& [name, g] : kSets)
        if (s == name) return g;
    if (s.empty() || s[0] != '{')
        fail(v, "unknown property set " + quote(s) +
                    "; expected PS_PUBLIC_STRINGS, PS_MAPI, PSETID_Common, PSETID_Address, "
                    "PSETID_Appointment, PSETID_Task or a GUID in braces");
    return guid(v, s);
}

Address Loader::address(const J& v)
{
    Address a;
    if (v.is_object()) {
        check_members(v, {"name", "email", "addrtype"}, "an address");
        for (const char* m : {"name", "email", "addrtype"})
            if (const J* x = member(v, m)) {
                Step step(*this, m);
                std::string t = text8(*x);
                (m[0] == 'n' ? a.name : m[0] == 'e' ? a.email : a.addrtype) = std::move(t);
            }
    } else {
        std::string s = text8(v);
        const std::size_t lt = s.rfind('<');
        if (lt != std::string::npos && s.size() >= 2 && s.back() == '>') {
            std::string name = s.substr(0, lt);
            while (!name.empty() && name.back() == ' ') name.pop_back();
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                name = name.substr(1, name.size() - 2);
            a.email = s.substr(lt + 1, s.size() - lt - 2);
            a.name = name.empty() ? *a.email : name;
        } else {
            a.email = s;
            a.name = s;
        }
        if (a.email->empty()) fail(v, "an address needs an e-mail address: \"Name <address>\"");
    }
    if (a.email && !a.addrtype) a.addrtype = "SMTP";
    return a;
}

M Loader::friendly_value(const Friendly& f, const J& v)
{
    switch (f.kind) {
        case Kind::Text:
            return M::string8(f.tag, text8(v));
        case Kind::Lines:
            return M::string8(f.tag, lines8(v));
        case Kind::Time:
            return M::systime(f.tag, time(v));
        case Kind::Whole:
            return M::i4(f.tag, whole32(v));
        case Kind::Bool:
            return M::boolean(f.tag, boolean(v));
        case Kind::Bytes:
            return M::binary(f.tag, bytes(v));
        case Kind::Choice:
            return M::i4(f.tag, choice(v, f.names, INT32_MIN, UINT32_MAX));
        case Kind::Flags:
            return M::i4(f.tag, static_cast<std::int32_t>(flags(v, f.names)));
    }
    return M();
}

M Loader::tagged_value(ULONG tag, const J& v)
{
    auto each = [&](auto read) {
        need_array(v);
        using T = decltype(read(v));
        std::vector<T> out;
        for (std::size_t i = 0; i < v.items().size(); ++i) {
            Step step(*this, i);
            out.push_back(read(v.items()[i]));
        }
        return out;
    };
    switch (PROP_TYPE(tag)) {
        case PT_I2:
            return M::i2(tag, static_cast<std::int16_t>(
                                  static_cast<std::uint16_t>(whole(v, -32768, 65535))));
        case PT_LONG:
            return M::i4(tag, whole32(v));
        case PT_DOUBLE: {
            double d = 0;
            if (!v.to_double(d)) fail(v, "expected a number");
            return M::dbl(tag, d);
        }
        case PT_ERROR:
            return M::error(tag, whole32(v));
        case PT_BOOLEAN:
            return M::boolean(tag, boolean(v));
        case PT_I8:
            return M::i8(tag, whole(v, INT64_MIN, INT64_MAX));
        case PT_STRING8:
            return M::string8(tag, lines8(v));
        case PT_UNICODE:
            return M::unicode(tag, text16(v));
        case PT_SYSTIME:
            return M::systime(tag, time(v));
        case PT_CLSID:
            return M::clsid(tag, guid(v, str(v)));
        case PT_BINARY:
            return M::binary(tag, bytes(v));
        case PT_MV_LONG:
            return M::mv_long(tag, each([&](const J& x) { return whole32(x); }));
        case PT_MV_STRING8:
            return M::mv_string8(tag, each([&](const J& x) { return text8(x); }));
        case PT_MV_BINARY:
            return M::mv_binary(tag, each([&](const J& x) { return bytes(x); }));
        default: {
            char type[8];
            std::snprintf(type, sizeof type, "%04X", static_cast<unsigned>(PROP_TYPE(tag)));
            fail(v, std::string("properties of type ") + type +
                        " cannot be given (types: 0002 0003 0005 000A 000B 0014 001E 001F 0040 "
                        "0048 0102 1003 101E 1102)");
        }
    }
}

bool Loader::set_friendly(Props& props, const Friendly* f, std::string_view member, const J& v)
{
    if (!f) return false;
    Step step(*this, member);
    if (v.is_null())
        props.leave_out(v, member, f->tag);
    else
        props.set(v, member, friendly_value(*f, v));
    return true;
}

void Loader::set_tag(Props& props, std::string_view member, const J& v)
{
    Step step(*this, member);
    const ULONG tag = tag_of(member);
    if (PROP_ID(tag) == 0) fail(v, "property identifier 0 is not a property");
    if (v.is_null())
        props.leave_out(v, member, tag);
    else
        props.set(v, member, tagged_value(tag, v));
}

void Loader::set_tags(Props& props, const J& obj)
{
    for (const auto& [name, value] : obj.members())
        if (is_tag_member(name)) set_tag(props, name, value);
}

void Loader::set_address(Props& props, const J& at, std::string_view member, const Address& a,
                         ULONG name_tag, ULONG email_tag, ULONG type_tag)
{
    if (a.name) props.set(at, member, M::string8(name_tag, *a.name));
    if (a.email) props.set(at, member, M::string8(email_tag, *a.email));
    if (a.addrtype) props.set(at, member, M::string8(type_tag, *a.addrtype));
}

std::uint64_t Loader::weight(const J& v) const
{
    std::uint64_t w = 16 + v.text().size();
    for (const J& item : v.items()) w += weight(item);
    for (const auto& [name, value] : v.members()) w += name.size() + weight(value);
    return w;
}

// ---- parts ----

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

void Loader::load_registry(const J& v)
{
    need_array(v);
    has_registry = true;
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step item(*this, i);
        const J& e = v.items()[i];
        need_object(e, "a registry value");
        check_members(e, {"root", "key", "name", "string", "dword", "binary", "type", "data"},
                      "a registry value");
        RegistryOp op;
        {
            Step step(*this, "root");
            const J& root = required(e, "root");
            const std::string r = str(root);
            if (r == "HKCU" || r == "HKEY_CURRENT_USER")
                op.root = MAPISIM_HKCU;
            else if (r == "HKLM" || r == "HKEY_LOCAL_MACHINE")
                op.root = MAPISIM_HKLM;
            else
                fail(root, "unknown root " + quote(r) + "; expected \"HKCU\" or \"HKLM\"");
        }
        {
            Step step(*this, "key");
            op.key = text8(required(e, "key"));
        }
        if (const J* n = member(e, "name")) {
            Step step(*this, "name");
            op.name = text8(*n);
        }
        int kinds = 0;
        for (const char* k : {"string", "dword", "binary", "data"})
            kinds += member(e, k) != nullptr;
        if (kinds > 1) fail(e, "give one of \"string\", \"dword\", \"binary\" or \"data\"");
        if (member(e, "type") && !member(e, "data")) fail(e, "\"type\" goes with \"data\"");
        if (const J* s = member(e, "string")) {
            Step step(*this, "string");
            const std::string t = text8(*s);
            op.type = REG_SZ;
            op.data.assign(t.begin(), t.end());
            op.data.push_back(0);
        } else if (const J* d = member(e, "dword")) {
            Step step(*this, "dword");
            const auto x = static_cast<std::uint32_t>(whole32(*d));
            op.type = REG_DWORD;
            op.data = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
                       static_cast<std::uint8_t>(x >> 16), static_cast<std::uint8_t>(x >> 24)};
        } else if (const J* b = member(e, "binary")) {
            Step step(*this, "binary");
            op.type = REG_BINARY;
            op.data = bytes(*b);
        } else if (const J* d = member(e, "data")) {
            {
                Step step(*this, "type");
                op.type = static_cast<std::uint32_t>(whole32(required(e, "type")));
            }
            Step step(*this, "data");
            op.data = bytes(*d);
        } else if (op.name) {
            fail(e, "a named registry value needs \"string\", \"dword\", \"binary\" or \"data\"");
        }
        registry.push_back(std::move(op));
    }
}

void Loader::load_versions(const J& v)
{
    need_array(v);
    has_versions = true;
    auto version = [&](const J& x, std::uint32_t& ms, std::uint32_t& ls) {
        const std::string s = str(x);
        std::uint32_t part[4] = {};
        std::size_t i = 0;
        for (int k = 0; k < 4; ++k) {
            const std::size_t start = i;
            std::uint32_t n = 0;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n <= 65535)
                n = n * 10 + static_cast<std::uint32_t>(s[i++] - '0');
            const bool end_ok = k == 3 ? i == s.size() : i < s.size() && s[i] == '.';
            if (i == start || n > 65535 || !end_ok)
                fail(x, "expected a version \"major.minor.build.revision\", each 0 to 65535");
            part[k] = n;
            ++i;
        }
        ms = part[0] << 16 | part[1];
        ls = part[2] << 16 | part[3];
    };
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step item(*this, i);
        const J& e = v.items()[i];
        need_object(e, "a file version");
        check_members(e, {"path", "product", "file"}, "a file version");
        VersionOp op{};
        {
            Step step(*this, "path");
            const J& p = required(e, "path");
            op.path = text8(p);
            if (op.path.empty()) fail(p, "the path may not be empty");
        }
        {
            Step step(*this, "product");
            version(required(e, "product"), op.product_ms, op.product_ls);
        }
        op.file_ms = op.product_ms;
        op.file_ls = op.product_ls;
        if (const J* f = member(e, "file")) {
            Step step(*this, "file");
            version(*f, op.file_ms, op.file_ls);
        }
        versions.push_back(std::move(op));
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
    check_members(v, {"name", "class", "comment", "folders", "messages", "associated"}, "a folder",
                  true);
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

void Loader::load_repeat(model::Store& s, model::Folder& f, const J& v, bool associated)
{
    check_members(v, {"repeat", "step", "message"}, "a repeat");
    std::int64_t count, step_ticks = 0;
    {
        Step step(*this, "repeat");
        const J& r = required(v, "repeat");
        count = whole(r, 1, kMaxRepeat);
        if (repeated_messages_ + count > kMaxRepeatedMessages)
            fail(r, "repeats would make more than " + std::to_string(kMaxRepeatedMessages) +
                        " messages");
    }
    if (const J* st = member(v, "step")) {
        Step step(*this, "step");
        step_ticks = parse_duration(*st, str(*st));
    }
    Step step(*this, "message");
    const J& tmpl = required(v, "message");
    need_object(tmpl, "a message");
    const std::uint64_t w = weight(tmpl);
    if (w > (kMaxRepeatedWeight - repeated_weight_) / static_cast<std::uint64_t>(count))
        fail(tmpl, "repeats would make more than 64 MB of text");
    repeated_weight_ += w * static_cast<std::uint64_t>(count);
    repeated_messages_ += count;
    const std::int64_t abs_step = step_ticks < 0 ? -step_ticks : step_ticks;
    for (std::int64_t n = 1; n <= count; ++n) {
        if (abs_step && (n - 1) > INT64_MAX / abs_step)
            fail(tmpl, "the repeat's step moves its times out of range");
        repeat_ = Repeat{true, n, (n - 1) * step_ticks};
        auto msg = s.add_message(f, associated);
        try {
            load_message(s, *msg, tmpl);
        } catch (LoadError& e) {
            e.message += " (in the copy for n = " + std::to_string(n) + ")";
            repeat_ = Repeat{};
            throw;
        }
    }
    repeat_ = Repeat{};
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
            const J& at = value;  // a structured binding cannot be captured before C++20 compilers
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

std::string format_error(std::string_view origin, const json::Pos& pos, const std::string& path,
                         const std::string& message)
{
    std::string out;
    if (!origin.empty()) {
        out.append(origin);
        out += ':';
    }
    out += std::to_string(pos.line) + ":" + std::to_string(pos.column) + ": ";
    if (!path.empty()) out += path + ": ";
    out += message;
    return out;
}

}  // namespace

bool load_mailbox(std::string_view text, std::string_view origin, std::string& error) noexcept
{
    try {
        json::Value top;
        json::Error parse_error;
        if (!json::parse(text, top, parse_error)) {
            error = format_error(origin, parse_error.pos, parse_error.path, parse_error.message);
            return false;
        }
        Loader loader;
        try {
            loader.load(top);
        } catch (const LoadError& e) {
            error = format_error(origin, e.pos, e.path, e.message);
            return false;
        }
        // Everything is checked: only memory can fail from here on.
        if (loader.has_registry) {
            mapisim_registry_clear();
            for (const RegistryOp& op : loader.registry) {
                const char* name = op.name ? op.name->c_str() : nullptr;
                if (op.type)
                    mapisim_registry_set_value(op.root, op.key.c_str(), name, *op.type,
                                               op.data.data(),
                                               static_cast<std::uint32_t>(op.data.size()));
                else
                    mapisim_registry_create_key(op.root, op.key.c_str());
            }
        }
        if (loader.has_versions) {
            mapisim_version_clear();
            for (const VersionOp& op : loader.versions)
                mapisim_version_register(op.path.c_str(), op.product_ms, op.product_ls, op.file_ms,
                                         op.file_ls);
        }
        model::install(std::move(loader.world));
        error.clear();
        return true;
    } catch (const std::bad_alloc&) {
        error = "out of memory while loading the mailbox";
    } catch (...) {
        error = "unexpected failure while loading the mailbox";
    }
    return false;
}

}  // namespace mapisim::loader

namespace {

std::string& last_load_error()
{
    static std::string text;
    return text;
}

int finish(bool ok)
{
    return ok ? 0 : -1;
}

}  // namespace

extern "C" {

MAPISIM_EXPORT int mapisim_load_mailbox_string(const char* text)
{
    std::string& error = last_load_error();
    try {
        if (text == nullptr) {
            error = "no mailbox text given";
            return -1;
        }
        return finish(mapisim::loader::load_mailbox(text, "", error));
    } catch (const std::bad_alloc&) {
        error.clear();
        return -1;
    }
}

MAPISIM_EXPORT int mapisim_load_mailbox_file(const char* path)
{
    std::string& error = last_load_error();
    try {
        if (path == nullptr || *path == '\0') {
            error = "no mailbox file given";
            return -1;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = std::string(path) + ": cannot open: " + std::strerror(errno);
            return -1;
        }
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = std::string(path) + ": cannot read";
            return -1;
        }
        return finish(mapisim::loader::load_mailbox(text, path, error));
    } catch (const std::bad_alloc&) {
        error = "out of memory while loading the mailbox";
        return -1;
    }
}

MAPISIM_EXPORT const char* mapisim_last_load_error(void)
{
    return last_load_error().c_str();
}

}  // extern "C"
