// Member checks and property values: the properties a JSON object sets,
// by friendly member or by tag, and the whole numbers, choices, flags and
// addresses they are made of.
#include <cstdio>
#include <cstring>

#include "mapisim/loader/description.h"

namespace mapisim::loader::description {

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

void Props::leave_out(const J& at, std::string_view member, ULONG tag) { claim(at, member, tag); }

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

} // namespace mapisim::loader::description
