#include "mapisim/model/value.h"

#include <cstring>

namespace mapisim::model {
namespace {

ULONG with_type(ULONG tag, ULONG type) { return CHANGE_PROP_TYPE(tag, type); }

// Code page 1252's characters 0x80..0x9F; 0 where it has none.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

Value Value::i2(ULONG tag, std::int16_t v) { return Value(with_type(tag, PT_I2), v); }
Value Value::i4(ULONG tag, std::int32_t v) { return Value(with_type(tag, PT_LONG), v); }
Value Value::boolean(ULONG tag, bool v) { return Value(with_type(tag, PT_BOOLEAN), v); }
Value Value::i8(ULONG tag, std::int64_t v) { return Value(with_type(tag, PT_I8), v); }
Value Value::dbl(ULONG tag, double v) { return Value(with_type(tag, PT_DOUBLE), v); }
Value Value::systime(ULONG tag, FileTime v) { return Value(with_type(tag, PT_SYSTIME), v); }
Value Value::string8(ULONG tag, std::string v)
{
    return Value(with_type(tag, PT_STRING8), std::move(v));
}
Value Value::unicode(ULONG tag, std::u16string v)
{
    return Value(with_type(tag, PT_UNICODE), std::move(v));
}
Value Value::binary(ULONG tag, Bytes v) { return Value(with_type(tag, PT_BINARY), std::move(v)); }
Value Value::binary(ULONG tag, const void* data, std::size_t size)
{
    auto p = static_cast<const std::uint8_t*>(data);
    return binary(tag, size ? Bytes(p, p + size) : Bytes{});
}
Value Value::clsid(ULONG tag, const GUID& v) { return Value(with_type(tag, PT_CLSID), v); }
Value Value::mv_string8(ULONG tag, std::vector<std::string> v)
{
    return Value(with_type(tag, PT_MV_STRING8), std::move(v));
}
Value Value::mv_long(ULONG tag, std::vector<std::int32_t> v)
{
    return Value(with_type(tag, PT_MV_LONG), std::move(v));
}
Value Value::mv_binary(ULONG tag, std::vector<Bytes> v)
{
    return Value(with_type(tag, PT_MV_BINARY), std::move(v));
}
Value Value::error(ULONG tag, SCODE sc) { return Value(with_type(tag, PT_ERROR), ErrorCode{sc}); }

std::optional<Value> Value::from_mapi(const SPropValue& v)
{
    const ULONG tag = v.ulPropTag;
    const auto& u = v.Value;
    switch (PROP_TYPE(tag)) {
    case PT_I2: return i2(tag, u.i);
    case PT_LONG: return i4(tag, u.l);
    case PT_BOOLEAN: return boolean(tag, u.b != 0);
    case PT_I8: return i8(tag, u.li.QuadPart);
    case PT_DOUBLE: return dbl(tag, u.dbl);
    case PT_SYSTIME:
        return systime(tag, FileTime{(std::uint64_t(u.ft.dwHighDateTime) << 32) |
                                     u.ft.dwLowDateTime});
    case PT_ERROR: return error(tag, u.err);
    case PT_STRING8:
        if (!u.lpszA) return std::nullopt;
        return string8(tag, u.lpszA);
    case PT_UNICODE: {
        if (!u.lpszW) return std::nullopt;
        std::u16string s;
        for (const WCHAR* p = u.lpszW; *p; ++p) s.push_back(*p);
        return unicode(tag, std::move(s));
    }
    case PT_BINARY:
        if (u.bin.cb && !u.bin.lpb) return std::nullopt;
        return binary(tag, u.bin.lpb, u.bin.cb);
    case PT_CLSID:
        if (!u.lpguid) return std::nullopt;
        return clsid(tag, *u.lpguid);
    case PT_MV_STRING8: {
        if (u.MVszA.cValues && !u.MVszA.lppszA) return std::nullopt;
        std::vector<std::string> items;
        for (ULONG i = 0; i < u.MVszA.cValues; ++i) {
            if (!u.MVszA.lppszA[i]) return std::nullopt;
            items.emplace_back(u.MVszA.lppszA[i]);
        }
        return mv_string8(tag, std::move(items));
    }
    case PT_MV_LONG: {
        if (u.MVl.cValues && !u.MVl.lpl) return std::nullopt;
        return mv_long(tag, std::vector<std::int32_t>(u.MVl.lpl, u.MVl.lpl + u.MVl.cValues));
    }
    case PT_MV_BINARY: {
        if (u.MVbin.cValues && !u.MVbin.lpbin) return std::nullopt;
        std::vector<Bytes> items;
        for (ULONG i = 0; i < u.MVbin.cValues; ++i) {
            const SBinary& b = u.MVbin.lpbin[i];
            if (b.cb && !b.lpb) return std::nullopt;
            items.emplace_back(b.lpb, b.lpb + b.cb);
        }
        return mv_binary(tag, std::move(items));
    }
    default: return std::nullopt;
    }
}

std::size_t Value::payload_size() const
{
    if (auto s = get<std::string>()) return s->size() + 1;
    if (auto w = get<std::u16string>()) return (w->size() + 1) * 2;
    if (auto b = get<Bytes>()) return b->size();
    if (auto m = get<std::vector<std::string>>()) {
        std::size_t n = 0;
        for (auto& s : *m) n += s.size() + 1;
        return n;
    }
    if (auto m = get<std::vector<std::int32_t>>()) return m->size() * 4;
    if (auto m = get<std::vector<Bytes>>()) {
        std::size_t n = 0;
        for (auto& b : *m) n += b.size();
        return n;
    }
    return 0;
}

Value Value::converted(ULONG wanted) const
{
    if (wanted == PT_STRING8) {
        if (auto w = get<std::u16string>()) return string8(tag_, narrow(*w));
    } else if (wanted == PT_UNICODE) {
        if (auto s = get<std::string>()) return unicode(tag_, widen(*s));
    }
    return *this;
}

std::u16string widen(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (unsigned char c : s) {
        char16_t w = c;
        if (c >= 0x80 && c < 0xA0) w = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : u'?';
        out.push_back(w);
    }
    return out;
}

std::string narrow(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char16_t w : s) {
        if (w < 0x80 || (w >= 0xA0 && w < 0x100)) {
            out.push_back(static_cast<char>(w));
            continue;
        }
        char c = '?';
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == w) c = static_cast<char>(0x80 + i);
        out.push_back(c);
    }
    return out;
}

std::u16string utf8_to_utf16(std::string_view s)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 6 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
            len = 2;
        } else if ((c >> 4) == 14 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
            len = 3;
        } else if ((c >> 3) == 30 && i + 3 < s.size()) {
            cp = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) |
                 (s[i + 3] & 0x3Fu);
            len = 4;
        }
        i += len;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(cp > 0xFFFF ? u'\xFFFD' : static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {
std::uint64_t counter = 1;
}

std::uint64_t generation() noexcept { return counter; }
void touch() noexcept { ++counter; }

void PropertyBag::set(Value v)
{
    touch();
    const ULONG id = v.id();
    values_.insert_or_assign(id, std::move(v));
}

const Value* PropertyBag::find(ULONG tag) const
{
    auto it = values_.find(PROP_ID(tag));
    return it == values_.end() ? nullptr : &it->second;
}

std::optional<Value> PropertyBag::get(ULONG tag) const
{
    const Value* v = find(tag);
    if (!v) return std::nullopt;
    const ULONG want = PROP_TYPE(tag);
    if (want == PT_UNSPECIFIED || want == v->type()) return *v;
    if ((want == PT_STRING8 && v->type() == PT_UNICODE) ||
        (want == PT_UNICODE && v->type() == PT_STRING8))
        return v->converted(want);
    return std::nullopt;
}

bool PropertyBag::erase(ULONG tag)
{
    touch();
    return values_.erase(PROP_ID(tag)) != 0;
}

std::optional<std::string> PropertyBag::text(ULONG tag) const
{
    auto v = get(CHANGE_PROP_TYPE(tag, PT_STRING8));
    if (!v) return std::nullopt;
    return *v->get<std::string>();
}

std::optional<std::int32_t> PropertyBag::i4(ULONG tag) const
{
    const Value* v = find(tag);
    if (!v || !v->get<std::int32_t>()) return std::nullopt;
    return *v->get<std::int32_t>();
}

std::optional<bool> PropertyBag::boolean(ULONG tag) const
{
    const Value* v = find(tag);
    if (!v || !v->get<bool>()) return std::nullopt;
    return *v->get<bool>();
}

ULONG NameMap::id_of(const NamedId& name)
{
    if (auto id = find(name)) return *id;
    const ULONG id = 0x8000 + static_cast<ULONG>(entries_.size());
    if (id > 0xFFFE) return 0;
    entries_.emplace_back(id, name);
    return id;
}

std::optional<ULONG> NameMap::find(const NamedId& name) const
{
    for (auto& [id, n] : entries_)
        if (n == name) return id;
    return std::nullopt;
}

const NamedId* NameMap::name_of(ULONG id) const
{
    if (id < 0x8000 || id - 0x8000 >= entries_.size()) return nullptr;
    return &entries_[id - 0x8000].second;
}

}  // namespace mapisim::model
